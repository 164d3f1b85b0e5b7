#pragma once
// Big5 characters in a page: where each one starts, and the codes that stand for the
// same character as another code.
#include "page/htmlruns.h"

#include <QByteArray>
#include <QtGlobal>

#include <vector>

namespace morvessa {

// Length in bytes of the character that starts at p[i] (of n bytes): 2 for a lead byte
// with a trail byte after it, otherwise 1.
inline qsizetype big5CharLength(const unsigned char *p, qsizetype i, qsizetype n)
{
    const bool lead = p[i] >= 0x81 && p[i] <= 0xFE;
    const bool trail =
        i + 1 < n && ((p[i + 1] >= 0x40 && p[i + 1] <= 0x7E) || (p[i + 1] >= 0xA1 && p[i + 1] <= 0xFE));
    return lead && trail ? 2 : 1;
}

// The bytes in which terms are looked for: the page with the first code of each alias
// pair rewritten to the second in its text runs (terms are encoded to the second code).
// Same length as the page; shares the page's bytes when nothing is rewritten.
QByteArray aliasKey(const QByteArray &page, const std::vector<PageRun> &runs);

} // namespace morvessa
