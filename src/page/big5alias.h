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

// The page with each two-byte character of its text runs replaced by the code keyOf gives
// for it (the code itself or 0: left as it is). Same length as the page; shares the page's
// bytes when nothing is replaced. Runs for which skipRun(from, length) holds are passed
// over whole.
template <typename KeyOf, typename SkipRun>
QByteArray rekeyTextRuns(const QByteArray &page, const std::vector<PageRun> &runs, KeyOf keyOf, SkipRun skipRun)
{
    QByteArray key = page;
    const auto *p = reinterpret_cast<const unsigned char *>(page.constData());
    const qsizetype n = page.size();
    for (const PageRun &run : runs) {
        if (!run.text || skipRun(p + run.pos, run.len))
            continue;
        const qsizetype end = run.pos + run.len;
        for (qsizetype i = run.pos; i < end;) {
            const qsizetype length = big5CharLength(p, i, n);
            if (length == 2) {
                const auto code = uint16_t(p[i] << 8 | p[i + 1]);
                if (const uint16_t to = keyOf(code); to && to != code) {
                    key[i] = char(to >> 8); // detaches from the page on the first change
                    key[i + 1] = char(to & 0xFF);
                }
            }
            i += length;
        }
    }
    return key;
}

// The bytes in which terms are looked for: the page with the first code of each alias
// pair rewritten to the second in its text runs (terms are encoded to the second code).
// Same length as the page; shares the page's bytes when nothing is rewritten.
QByteArray aliasKey(const QByteArray &page, const std::vector<PageRun> &runs);

} // namespace morvessa
