#pragma once
// The record page: the record's Big5 page with every query term marked in red,
// written to the one temporary page tmp/TmpKELMAR.htm of the application folder.
#include <QByteArray>
#include <QString>

namespace morvessa {

// folder + "\tmp\" + "TmpKELMAR.htm" (see appPath)
QString recordPagePath(const QString &folder);

// Marks the terms of keywordText (split at every U+0020, empty terms kept) in a Big5 page:
// each term in turn, every occurrence wrapped in "<font color=red>" and "</font>".
// Terms are marked only in the page's text, never inside tags (those inserted for earlier
// terms included), comments, character references, or script, style, title and similar
// elements, and only on whole Big5 characters. Every other byte of the page stays as it is.
QByteArray markKeywords(const QByteArray &big5Page, const QString &keywordText);

// Reads folder + "\" + pageName (Windows separators; letter case ignored when the exact
// name is missing), marks keywordText, and replaces recordPagePath(folder) with the result,
// making the tmp folder when needed. A missing page or an empty name gives an empty page.
// Never fails to its caller.
void WriteRecordPage(const QString &folder, const QString &pageName, const QString &keywordText);

// The keyword text the viewer hands over: the box text trimmed of U+0020; in modes
// "mod3" and "mod4" then the characters from the second to the 101st.
QString keywordTextFor(const QString &boxText, const QString &searchMode);

// Deletes the temporary page when it exists; the tmp folder stays.
void deleteRecordPage(const QString &pagePath);

} // namespace morvessa
