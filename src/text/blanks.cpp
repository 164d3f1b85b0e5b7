#include "text/blanks.h"

namespace morvessa {

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == kBlank)
        ++begin;
    while (end > begin && text.at(end - 1) == kBlank)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace morvessa
