#pragma once
// The record page: the record's Big5 page with every query term marked in red,
// written to the one temporary page tmp/TmpKELMAR.htm of the application folder.
#include <QByteArray>
#include <QString>

namespace morvessa {

// folder + "\tmp\" + "TmpKELMAR.htm"
QString recordPagePath(const QString &folder);

// Marks the terms of keywordText (split at every U+0020, empty terms kept) in a Big5 page.
QByteArray markKeywords(const QByteArray &big5Page, const QString &keywordText);

// Reads folder + "\" + pageName, marks keywordText, writes recordPagePath(folder).
// Never fails to its caller.
void WriteRecordPage(const QString &folder, const QString &pageName, const QString &keywordText);

// The keyword text the viewer hands over: the box text trimmed of U+0020; in modes
// "mod3" and "mod4" then the characters from the second to the 101st.
QString keywordTextFor(const QString &boxText, const QString &searchMode);

// Deletes the temporary page when it exists; the tmp folder stays.
void deleteRecordPage(const QString &pagePath);

} // namespace morvessa
