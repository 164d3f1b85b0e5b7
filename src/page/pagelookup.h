#pragma once
// What a record page may read and the browser pane may load: files inside the collection
// folder, judged by name. A name that is absolute or climbs above the folder with ".."
// names nothing; a link that sits inside the folder is followed wherever it leads, as it
// is the user's own arrangement (the menu's sample collection is made of links).
#include <QString>

class QUrl;

namespace morvessa {

// The file that a page name (a path relative to the folder, written with Windows
// separators) names, or an empty string when there is none. Where the exact path is
// missing, each part is looked up without regard to letter case, as the collection's
// names were written on a system that ignores case. ".." steps back a part; a name that
// steps out of the folder names nothing.
// A leading separator is read inside the folder, as folder + "\" + name always was.
QString sourcePagePath(const QString &folder, const QString &pageName);

// Why a page name gives no page to read.
enum class PageProblem { None, Missing, NoPermission, NotAFile, Outside };
// The same, and problem says why there is no readable page (None when there is one).
QString sourcePagePath(const QString &folder, const QString &pageName, PageProblem &problem);
// The reason in words, for a message that names the page.
QString pageProblemText(PageProblem problem);

// Whether path (which need not exist) lies in folder or is the folder itself, by name.
bool insideFolder(const QString &folder, const QString &path);

// Whether the browser pane may load url: a local file inside the collection folder, or a
// page the program hands it as text (data: and about: addresses). Nothing from the
// network, and no file elsewhere on the machine.
bool paneMayLoad(const QString &folder, const QUrl &url);

} // namespace morvessa
