#include "page/keywordtext.h"

#include "text/blanks.h"

namespace morvessa {

QString keywordTextFor(const QString &boxText, const QString &searchMode)
{
    const QString trimmed = trimBlanks(boxText);
    if (searchMode == QLatin1String("mod3") || searchMode == QLatin1String("mod4"))
        return trimmed.mid(1, 100); // the operator goes, at most 100 characters follow
    return trimmed;
}

} // namespace morvessa
