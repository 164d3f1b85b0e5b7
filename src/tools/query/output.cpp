#include "tools/query/output.h"

#include "engine/recordstore.h"
#include "search/concordance.h"
#include "search/contextsearch.h"
#include "text/utf8.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <functional>
#include <semaphore>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace morvessa::querytool {

namespace {

void write(std::FILE *out, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out);
}

} // namespace

QByteArray tsvField(QByteArrayView utf8)
{
    QByteArray out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray jsonString(QByteArrayView utf8)
{
    static const char kHex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xf];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

void printLine(std::FILE *stream, const QString &text)
{
    write(stream, text.toUtf8());
    std::fputc('\n', stream);
}

void printRows(std::FILE *out, const ResultRows &rows, OutputFormat format, int pageRow, const QString &pagePath)
{
    QByteArray line;
    for (int r = 0; r < rows.count(); ++r) {
        const QByteArray title = rows.utf8(r, 0);
        const QByteArray page = rows.utf8(r, 1);
        switch (format) {
        case OutputFormat::Text:
            line = title + '\t' + page;
            break;
        case OutputFormat::Tsv:
            line = tsvField(title) + '\t' + tsvField(page);
            break;
        case OutputFormat::Json:
            line = "{\"row\":" + QByteArray::number(r + 1) + ",\"title\":" + jsonString(title) +
                   ",\"page\":" + jsonString(page);
            if (r + 1 == pageRow)
                line += ",\"path\":" + jsonString(pagePath.toUtf8());
            line += '}';
            break;
        }
        line += '\n';
        write(out, line);
    }
    if (pageRow > 0 && format == OutputFormat::Text)
        printLine(out, pagePath);
    else if (pageRow > 0 && format == OutputFormat::Tsv)
        write(out, tsvField(pagePath.toUtf8()) + '\n');
}

namespace {

// Context as one line of text: control characters (CR, LF, TAB) become blanks. Eight
// bytes at a time: long records break their lines often.
void blankControls(char *p, std::size_t n)
{
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu, kTops = 0x8080808080808080u,
                            kBlanks = 0x2020202020202020u;
    std::size_t k = 0;
    for (std::uint64_t word; k + 8 <= n; k += 8) {
        std::memcpy(&word, p + k, 8);
        // A byte's top bit: set where the byte is below 0x20.
        const std::uint64_t below = ~(((word & kLow7) + 0x6060606060606060u) | word) & kTops;
        if (!below)
            continue;
        const std::uint64_t bytes = (below >> 7) * 0xFF;
        word = (word & ~bytes) | (kBlanks & bytes);
        std::memcpy(p + k, &word, 8);
    }
    for (; k < n; ++k)
        if (static_cast<unsigned char>(p[k]) < 0x20)
            p[k] = ' ';
}

// Copies bytes to `to` and returns where they end; control characters become blanks
// where `oneLine`.
char *put(char *to, QByteArrayView bytes, bool oneLine = false)
{
    std::memcpy(to, bytes.data(), std::size_t(bytes.size()));
    if (oneLine)
        blankControls(to, std::size_t(bytes.size()));
    return to + bytes.size();
}

QByteArrayView viewOf(std::string_view piece)
{
    return {piece.data(), qsizetype(piece.size())};
}

} // namespace

void ContextPrinter::print(const ResultRows &rows, int row, const LinePieces &pieces)
{
    if (&rows != m_rows || row != m_row) {
        m_rows = &rows;
        m_row = row;
        m_title = rows.utf8(row, 0);
        m_page = rows.utf8(row, 1);
        m_names = m_title + '\t' + m_page + '\t';
    }
    QByteArrayView before = viewOf(pieces.before), hit = viewOf(pieces.hit), after = viewOf(pieces.after);
    QByteArray shown[3];
    // Pieces that lie one after another are cut where characters begin: they are
    // well-formed when the whole line is.
    const bool together = before.end() == hit.begin() && hit.end() == after.begin();
    const bool wellFormed =
        together ? wellFormedUtf8(
                       {pieces.before.data(), pieces.before.size() + pieces.hit.size() + pieces.after.size()})
                 : wellFormedUtf8(pieces.before) && wellFormedUtf8(pieces.hit) && wellFormedUtf8(pieces.after);
    if (!wellFormed) {
        // Bytes that begin no character show as U+FFFD, as in the window.
        const ContextLine line = contextLine(pieces);
        shown[0] = line.before.toUtf8();
        shown[1] = line.hit.toUtf8();
        shown[2] = line.after.toUtf8();
        before = shown[0];
        hit = shown[1];
        after = shown[2];
    }
    if (m_format == OutputFormat::Text) {
        // The usual output, and the longest: built in one buffer, without conversions.
        // Sized once, then filled: a line is a dozen short pieces.
        char number[24];
        const auto [numberEnd, ec] = std::to_chars(number, number + sizeof number, pieces.offset);
        const bool red = m_marks == HitMarks::Red;
        const QByteArrayView open(red ? "\x1b[31m" : "【"), close(red ? "\x1b[0m" : "】");
        const std::size_t from = m_text.size();
        m_text.resize(from + std::size_t(m_names.size() + (numberEnd - number) + 1 + before.size() + open.size() +
                                         hit.size() + close.size() + after.size() + 1));
        char *to = put(m_text.data() + from, m_names);
        to = put(to, QByteArrayView(number, numberEnd));
        *to++ = '\t';
        to = put(put(put(put(put(to, before, true), open), hit, true), close), after, true);
        *to = '\n';
        if (m_text.size() >= m_batch)
            flush();
        return;
    }
    const QByteArray offset = QByteArray::number(pieces.offset);
    QByteArray &text = m_line;
    if (m_format == OutputFormat::Tsv) {
        text = tsvField(m_title) + '\t' + tsvField(m_page) + '\t' + offset;
        for (const QByteArrayView piece : {before, hit, after})
            text.append('\t').append(tsvField(piece));
    } else {
        text = "{\"row\":" + QByteArray::number(row + 1) + ",\"title\":" + jsonString(m_title) +
               ",\"page\":" + jsonString(m_page) + ",\"offset\":" + offset + ",\"before\":" + jsonString(before) +
               ",\"hit\":" + jsonString(hit) + ",\"after\":" + jsonString(after) + '}';
    }
    text += '\n';
    m_text.append(text.constData(), std::size_t(text.size()));
    if (m_text.size() >= m_batch)
        flush();
}

ContextPrinter::ContextPrinter(std::FILE *out, OutputFormat format, HitMarks marks)
    : m_out(out), m_format(format), m_marks(marks), m_batch(isatty(fileno(out)) ? 0 : std::size_t(64) << 10)
{}

ContextPrinter::~ContextPrinter()
{
    flush();
}

void ContextPrinter::flush()
{
    std::fwrite(m_text.data(), 1, m_text.size(), m_out);
    m_text.clear();
}

qint64 printContextLines(std::FILE *out, const ContextSearch &search, int records, OutputFormat format,
                         HitMarks marks, const LineStretches &stretches)
{
    qint64 lines = 0;
    if (records <= 0 || !search.outcome.rows)
        return lines;
    const ResultRows &rows = *search.outcome.rows;
    ContextPrinter mine(out, format, marks);
    auto printRows = [&](ContextPrinter &printer, int from, int count, qint64 &printed,
                         const std::function<bool()> &goOn = {}) {
        return search.eachLineOfRows(
            from, count,
            [&](int r, const LinePieces &line) {
                ++printed;
                printer.print(rows, r, line);
            },
            count, goOn);
    };
    // Making the lines' text takes longer than writing it: off a terminal, a second thread
    // makes every other stretch of rows while this one makes and writes the stretch before
    // it. Past a megabyte held it stops at a row, and this one goes on from there.
    const int stretch = std::max(1, stretches.rows);
    ContextPrinter theirs(out, format, marks);
    theirs.holdLines();
    std::binary_semaphore ready{0};
    std::counting_semaphore<> free{1};  // counting: a last release on the way out may go unused
    std::atomic<bool> abandoned{false}; // this thread left early: the other stops too
    std::atomic<int> theirEnd{0};       // where their last stretch stopped
    qint64 theirLines = 0;
    std::jthread helper;
    if (records > stretch && !isatty(fileno(out))) {
        try {
            helper = std::jthread([&] {
                for (int from = stretch; from < records; from += 2 * stretch) {
                    free.acquire();
                    if (abandoned.load())
                        return;
                    const int stopped = printRows(theirs, from, std::min(stretch, records - from), theirLines,
                                                  [&] { return theirs.held() < stretches.mostHeld; });
                    theirEnd.store(stopped, std::memory_order_relaxed);
                    ready.release();
                }
            });
        } catch (const std::system_error &) { // no thread to be had: all on this one
        }
    }
    if (!helper.joinable()) {
        printRows(mine, 0, records, lines);
        return lines;
    }
    try {
        for (int from = 0; from < records; from += 2 * stretch) {
            printRows(mine, from, std::min(stretch, records - from), lines);
            const int next = from + stretch;
            if (next >= records)
                break;
            ready.acquire();
            mine.flush();
            theirs.flush();
            const int stopped = theirEnd.load(std::memory_order_relaxed), end = std::min(records, next + stretch);
            free.release();
            printRows(mine, stopped, end - stopped, lines);
        }
    } catch (...) { // the other thread must not wait for its turn for ever
        abandoned.store(true);
        free.release();
        throw;
    }
    helper.join();
    return lines + theirLines;
}

void printCount(std::FILE *out, int records, qint64 occurrences, OutputFormat format)
{
    QByteArray text;
    if (format == OutputFormat::Json) {
        text = "{\"records\":" + QByteArray::number(records);
        if (occurrences >= 0)
            text += ",\"occurrences\":" + QByteArray::number(occurrences);
        text += '}';
    } else {
        text = QByteArray::number(records);
        if (occurrences >= 0)
            text += '\t' + QByteArray::number(occurrences);
    }
    text += '\n';
    write(out, text);
}

void printExplain(std::FILE *out, const QString &mode, const QString &sqlText, OutputFormat format)
{
    switch (format) {
    case OutputFormat::Text:
        printLine(out, mode);
        printLine(out, sqlText);
        break;
    case OutputFormat::Tsv:
        write(out, tsvField(mode.toUtf8()) + '\n' + tsvField(sqlText.toUtf8()) + '\n');
        break;
    case OutputFormat::Json:
        write(out, "{\"mode\":" + jsonString(mode.toUtf8()) + ",\"sql\":" + jsonString(sqlText.toUtf8()) + "}\n");
        break;
    }
}

} // namespace morvessa::querytool
