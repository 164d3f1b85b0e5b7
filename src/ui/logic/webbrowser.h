#pragma once
// Whether the desktop can show a local page in a web browser of its own window. The page
// is handed over as the desktop opens any file (xdg-open): to the program the desktop
// names for HTML pages, or, when it names none, to the first browser on the PATH. Where
// that is a browser for a terminal (w3m, lynx), started from a window it shows nothing.
#include <QString>
#include <QStringList>

namespace morvessa {

struct BrowserEnvironment {
    bool canOpenFiles = false;      // the desktop's opener (xdg-open) is there
    QString htmlHandler;            // the desktop file the desktop names for text/html
    QStringList applicationFolders; // where desktop files are: $XDG_DATA_HOME/applications, ...
    QStringList path;               // the folders of PATH
    QString browserVariable;        // $BROWSER
};

// This program's environment; asks the desktop for its HTML handler (xdg-mime).
BrowserEnvironment currentBrowserEnvironment();

// Whether a page handed to the desktop would be shown in a window.
bool hasGraphicalBrowser(const BrowserEnvironment &environment);

} // namespace morvessa
