#include "tools/query/output.h"

#include "engine/recordstore.h"
#include "search/concordance.h"

namespace morvessa::querytool {

namespace {

void write(std::FILE *out, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out);
}

} // namespace

QByteArray tsvField(const QByteArray &utf8)
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

QByteArray jsonString(const QByteArray &utf8)
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

// Context as one line of text: control characters (CR, LF, TAB) become blanks.
QByteArray oneLine(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (char &c : bytes)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return bytes;
}

// One of them, the record's names already converted.
void printContextLine(std::FILE *out, const QByteArray &title, const QByteArray &page, int row,
                      const ContextLine &line, OutputFormat format, HitMarks marks)
{
    const QByteArray offset = QByteArray::number(line.offset);
    QByteArray text;
    switch (format) {
    case OutputFormat::Text: {
        const bool red = marks == HitMarks::Red;
        text = title + '\t' + page + '\t' + offset + '\t' + oneLine(line.before) +
               (red ? QByteArray("\x1b[31m") : QStringLiteral("【").toUtf8()) + oneLine(line.hit) +
               (red ? QByteArray("\x1b[0m") : QStringLiteral("】").toUtf8()) + oneLine(line.after);
        break;
    }
    case OutputFormat::Tsv:
        text = tsvField(title) + '\t' + tsvField(page) + '\t' + offset + '\t' + tsvField(line.before.toUtf8()) +
               '\t' + tsvField(line.hit.toUtf8()) + '\t' + tsvField(line.after.toUtf8());
        break;
    case OutputFormat::Json:
        text = "{\"row\":" + QByteArray::number(row + 1) + ",\"title\":" + jsonString(title) +
               ",\"page\":" + jsonString(page) + ",\"offset\":" + offset +
               ",\"before\":" + jsonString(line.before.toUtf8()) + ",\"hit\":" + jsonString(line.hit.toUtf8()) +
               ",\"after\":" + jsonString(line.after.toUtf8()) + '}';
        break;
    }
    text += '\n';
    write(out, text);
}

} // namespace

void printContextLines(std::FILE *out, const ResultRows &rows, int row, const std::vector<ContextLine> &lines,
                       OutputFormat format, HitMarks marks)
{
    if (lines.empty())
        return;
    const QByteArray title = rows.utf8(row, 0);
    const QByteArray page = rows.utf8(row, 1);
    for (const ContextLine &line : lines)
        printContextLine(out, title, page, row, line, format, marks);
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
