#pragma once
// Text for a terminal, where a CJK character takes two columns.
#include <QString>
#include <QStringView>

namespace morvessa {

// Columns the text takes on a terminal: wide and fullwidth characters two, combining marks
// and other zero-width characters none, the rest one.
int displayWidth(QStringView text);

// Wraps each line longer than `columns` at the places Unicode allows a line break (between
// CJK characters, never before 。 or after 「), so no line passes `columns` unless a single
// unbreakable piece does. A continued line starts where the line's text after its first
// run of two or more blanks starts (the description column of an option list), or at the
// line's own indent.
QString wrapForTerminal(const QString &text, int columns = 80);

} // namespace morvessa
