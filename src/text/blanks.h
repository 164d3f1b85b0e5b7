#pragma once
// Blanks in query text: only U+0020 counts. Tabs and the ideographic space U+3000 are
// ordinary characters of a term.
#include <QString>

namespace morvessa {

inline constexpr QChar kBlank = QLatin1Char(' ');

// text without its leading and trailing blanks.
QString trimBlanks(const QString &text);

} // namespace morvessa
