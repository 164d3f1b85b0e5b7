#pragma once
// The temporary record page: the selected record's page with the query terms marked,
// rewritten on every row change and deleted when the main window closes.
#include "base/result.h"

#include <QString>

namespace morvessa {

// folder + "\tmp\" + "TmpKELMAR.htm" (see appPath): the page of the first program on a
// collection (RecordPageClaim gives the page a program writes).
QString recordPagePath(const QString &folder);

// The page was not written: folder is the one that could not be written.
struct UnwritableFolder : Failure {
    QString folder;
};

class MarkingFold;

// Reads the page that pageName names in folder (sourcePagePath), marks keywordText (in
// every form that folds alike when a fold is given) and
// replaces pagePath, a file in folder's tmp folder, with the result; makes the tmp folder
// (one level) when needed. A missing page, a name that leads out of the folder, or an
// empty name gives an empty page. Only the write can fail, and then pagePath keeps what
// it held before.
Result<void, UnwritableFolder> WriteRecordPage(const QString &folder, const QString &pagePath,
                                               const QString &pageName, const QString &keywordText,
                                               const MarkingFold *fold = nullptr);

// What the pane shows instead of a record whose page cannot be read: names the page and why.
QString unreadablePageNotice(const QString &pageName, const QString &reason);

// Makes the collection's tmp folder (one level) when it is missing. False when what stands
// there is not a real folder: a link (writing through it could write anywhere), a file.
bool prepareTmpFolder(const QString &tmpFolder);

// The page the browser pane shows instead of a record's where the temporary page could not
// be written: says so and names the folder.
QString unwritableFolderPage(const QString &folder);

// Deletes the temporary page when it exists; the tmp folder stays.
void deleteRecordPage(const QString &pagePath);

} // namespace morvessa
