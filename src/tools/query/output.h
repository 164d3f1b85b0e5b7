#pragma once
// How morvessa-query prints what it found, in the format the command line chose.
#include "tools/query/options.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace morvessa {
class ResultRows;
}

namespace morvessa::querytool {

// Writes the result rows to `out`, in result order. pageRow (from 1, 0 for none) is the row
// whose record page was written to pagePath: text and tsv print that path as the last line,
// json adds it to that row's object as "path".
void printRows(std::FILE *out, const ResultRows &rows, OutputFormat format, int pageRow = 0,
               const QString &pagePath = {});

// The statement --explain shows, in the chosen format.
void printExplain(std::FILE *out, const QString &mode, const QString &sqlText, OutputFormat format);

// One field of a TSV line: TAB, LF, CR and backslash written as \t, \n, \r and \\.
QByteArray tsvField(const QByteArray &utf8);
// A JSON string literal, quotes included.
QByteArray jsonString(const QByteArray &utf8);

void printLine(std::FILE *stream, const QString &text);

} // namespace morvessa::querytool
