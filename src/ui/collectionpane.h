#pragma once
// The browser pane's page: shows the collection's static pages and nothing else.
#include <QString>
#include <QWebEnginePage>

namespace morvessa {

class CollectionUrlFilter;

// Runs no scripts of the pages, and loads and follows only what paneMayLoad allows:
// files inside the collection folder and pages handed over as text. Links to anywhere
// else do nothing, and nothing comes from the network.
class CollectionPane : public QWebEnginePage {
    Q_OBJECT
public:
    CollectionPane(const QString &folder, QObject *parent);
    ~CollectionPane() override;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    QString m_folder;
    CollectionUrlFilter *m_filter;
};

} // namespace morvessa
