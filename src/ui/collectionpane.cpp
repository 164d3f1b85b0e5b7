#include "ui/collectionpane.h"

#include "page/pagelookup.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

namespace morvessa {

// Every request of the page, pictures and style sheets included.
class CollectionUrlFilter : public QWebEngineUrlRequestInterceptor {
public:
    CollectionUrlFilter(const QString &folder, QObject *parent)
        : QWebEngineUrlRequestInterceptor(parent), m_folder(folder)
    {}

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (!paneMayLoad(m_folder, info.requestUrl()))
            info.block(true);
    }

private:
    const QString m_folder;
};

CollectionPane::CollectionPane(const QString &folder, QObject *parent)
    : QWebEnginePage(parent), m_folder(folder), m_filter(new CollectionUrlFilter(folder, this))
{
    setUrlRequestInterceptor(m_filter);
    settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings()->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
}

namespace {
QPointer<CollectionPane> &preparedPane()
{
    static QPointer<CollectionPane> pane;
    return pane;
}
} // namespace

void CollectionPane::prepare(const QString &folder)
{
    if (preparedPane())
        return;
    auto *pane = new CollectionPane(folder, nullptr);
    preparedPane() = pane;
    // A pane never taken goes before the engine's profile does.
    connect(qApp, &QCoreApplication::aboutToQuit, pane, &QObject::deleteLater);
}

CollectionPane *CollectionPane::prepared()
{
    return preparedPane();
}

CollectionPane *CollectionPane::take(const QString &folder, QObject *parent)
{
    CollectionPane *pane = preparedPane();
    preparedPane() = nullptr;
    if (pane && pane->m_folder == folder) {
        disconnect(qApp, &QCoreApplication::aboutToQuit, pane, nullptr);
        pane->setParent(parent);
        return pane;
    }
    delete pane;
    return new CollectionPane(folder, parent);
}

CollectionPane::~CollectionPane()
{
    setUrlRequestInterceptor(nullptr);
}

bool CollectionPane::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    Q_UNUSED(type);
    Q_UNUSED(isMainFrame);
    return paneMayLoad(m_folder, url);
}

} // namespace morvessa
