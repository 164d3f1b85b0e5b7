#include "tools/query/output.h"

#include "engine/recordstore.h"

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

void printRows(std::FILE *out, const ResultRows &rows, OutputFormat format, int pageRow,
               const QString &pagePath)
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
        write(out,
              "{\"mode\":" + jsonString(mode.toUtf8()) + ",\"sql\":" + jsonString(sqlText.toUtf8()) + "}\n");
        break;
    }
}

} // namespace morvessa::querytool
