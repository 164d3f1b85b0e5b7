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

    // Starting the browser engine takes a good part of a second the first time. The start
    // window has a pane made for its folder while the user reads it, so the main window
    // opens without that wait.
    static void prepare(const QString &folder);
    // The prepared pane when it was made for folder, else a new one; owned by parent.
    static CollectionPane *take(const QString &folder, QObject *parent);
    // The pane made ready and not taken yet, or null.
    static CollectionPane *prepared();

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    QString m_folder;
    CollectionUrlFilter *m_filter;
};

} // namespace morvessa
