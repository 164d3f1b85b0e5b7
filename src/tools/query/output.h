#pragma once
// How morvessa-query prints what it found, in the format the command line chose.
#include "tools/query/options.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdio>
#include <string>

namespace morvessa {
class ContextSearch;
class ResultRows;
struct LinePieces;
} // namespace morvessa

namespace morvessa::querytool {

// Writes the result rows to `out`, in result order. pageRow (from 1, 0 for none) is the row
// whose record page was written to pagePath: text and tsv print that path as the last line,
// json adds it to that row's object as "path".
void printRows(std::FILE *out, const ResultRows &rows, OutputFormat format, int pageRow = 0,
               const QString &pagePath = {});

// The statement --explain shows, in the chosen format.
void printExplain(std::FILE *out, const QString &mode, const QString &sqlText, OutputFormat format);

// How a hit is set apart in a text context line.
enum class HitMarks {
    Brackets, // 【hit】, for files and pipes
    Red,      // ANSI red, for a terminal
};

// Context lines of result rows, one line each, as they come. text: title TAB page TAB
// offset TAB the context with the hit marked (line breaks and TABs in it shown as blanks);
// tsv: title, page, offset, before, hit, after; json: an object with those fields and
// "row" (from 1).
class ContextPrinter {
public:
    ContextPrinter(std::FILE *out, OutputFormat format, HitMarks marks);
    ~ContextPrinter();
    ContextPrinter(const ContextPrinter &) = delete;
    ContextPrinter &operator=(const ContextPrinter &) = delete;
    // A line of result row `row` (from 0). Lines may wait in a batch (not for a terminal).
    void print(const ResultRows &rows, int row, const LinePieces &line);
    // Writes the lines waiting.
    void flush();
    // Lines wait until flush() (for lines made ahead of their turn).
    void holdLines() { m_batch = std::size_t(-1); }
    std::size_t held() const { return m_text.size(); }

private:
    std::FILE *m_out;
    OutputFormat m_format;
    HitMarks m_marks;
    // The names of the row printed last: a record's lines come one after another.
    const ResultRows *m_rows = nullptr;
    int m_row = -1;
    QByteArray m_title, m_page;
    QByteArray m_names;  // title and page, each followed by a tab
    std::size_t m_batch; // bytes of lines that wait before they are written
    QByteArray m_line;
    std::string m_text; // lines waiting
};

// How printContextLines shares the work: rows a thread makes the lines of at a time, and
// bytes of lines made ahead of their turn held at most (past them, from a row on, the
// lines are made in their turn).
struct LineStretches {
    int rows = 512;
    std::size_t mostHeld = std::size_t(1) << 20;
};

// Every line of the first `records` rows of search, in the result's order; returns how
// many.
qint64 printContextLines(std::FILE *out, const ContextSearch &search, int records, OutputFormat format,
                         HitMarks marks, const LineStretches &stretches = {});

// --count: the number of records, and with context lines (occurrences >= 0) their number.
void printCount(std::FILE *out, int records, qint64 occurrences, OutputFormat format);

// One field of a TSV line: TAB, LF, CR and backslash written as \t, \n, \r and \\.
QByteArray tsvField(QByteArrayView utf8);
// A JSON string literal, quotes included.
QByteArray jsonString(QByteArrayView utf8);

void printLine(std::FILE *stream, const QString &text);

} // namespace morvessa::querytool
