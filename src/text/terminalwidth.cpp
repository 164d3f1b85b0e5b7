#include "text/terminalwidth.h"

#include <QStringList>
#include <QTextBoundaryFinder>

#include <unicode/uchar.h>

namespace morvessa {

namespace {

int columnsOf(char32_t c)
{
    if (c == 0x200B || u_getCombiningClass(UChar32(c)) != 0 || u_charType(UChar32(c)) == U_NON_SPACING_MARK ||
        u_charType(UChar32(c)) == U_ENCLOSING_MARK || u_charType(UChar32(c)) == U_FORMAT_CHAR)
        return 0;
    const auto width = UEastAsianWidth(u_getIntPropertyValue(UChar32(c), UCHAR_EAST_ASIAN_WIDTH));
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
}

// Where a continued line of `line` starts, in columns.
int hangingIndent(QStringView line)
{
    qsizetype lead = 0;
    while (lead < line.size() && line[lead] == QLatin1Char(' '))
        ++lead;
    const qsizetype gap = line.indexOf(QLatin1String("  "), lead);
    if (gap > 0) {
        qsizetype text = gap;
        while (text < line.size() && line[text] == QLatin1Char(' '))
            ++text;
        const int column = displayWidth(line.left(text));
        if (text < line.size() && column <= 40)
            return column;
    }
    return int(lead);
}

void wrapLine(const QString &line, int columns, QStringList &out)
{
    if (displayWidth(line) <= columns) {
        out << line;
        return;
    }
    const QString indent(hangingIndent(line), QLatin1Char(' '));
    QString current;
    int width = 0;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, line);
    qsizetype from = 0;
    while (from < line.size()) {
        qsizetype to = breaks.toNextBoundary();
        if (to < 0)
            to = line.size();
        const QString piece = line.mid(from, to - from);
        // Blanks at the end of a piece take no room at the end of a line.
        QStringView visible(piece);
        while (!visible.isEmpty() && visible.back() == QLatin1Char(' '))
            visible.chop(1);
        if (width > int(indent.size()) && width + displayWidth(visible) > columns) {
            while (current.endsWith(QLatin1Char(' ')))
                current.chop(1);
            out << current;
            current = indent;
            width = int(indent.size());
        }
        current += piece;
        width += displayWidth(piece);
        from = to;
    }
    while (current.endsWith(QLatin1Char(' ')))
        current.chop(1);
    out << current;
}

} // namespace

int displayWidth(QStringView text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += columnsOf(c);
    return width;
}

QString wrapForTerminal(const QString &text, int columns)
{
    QStringList out;
    for (const QString &line : text.split(QLatin1Char('\n')))
        wrapLine(line, columns, out);
    return out.join(QLatin1Char('\n'));
}

} // namespace morvessa
