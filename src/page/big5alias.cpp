#include "page/big5alias.h"

#include <cstring>

namespace morvessa {

namespace {

// Big5 codes that decode to the same character as another code.
struct Big5Alias {
    unsigned char from[2];
    unsigned char to[2];
};
constexpr Big5Alias kBig5Aliases[] = {
    {{0xA2, 0xA4}, {0xF9, 0xF9}}, {{0xA2, 0xA5}, {0xF9, 0xE9}}, {{0xA2, 0xA6}, {0xF9, 0xEA}},
    {{0xA2, 0xA7}, {0xF9, 0xEB}}, {{0xA2, 0xCC}, {0xA4, 0x51}}, {{0xA2, 0xCE}, {0xA4, 0xCA}},
    {{0xF9, 0xFA}, {0xA2, 0x7E}}, {{0xF9, 0xFB}, {0xA2, 0xA1}}, {{0xF9, 0xFC}, {0xA2, 0xA2}},
    {{0xF9, 0xFD}, {0xA2, 0xA3}},
};

} // namespace

QByteArray aliasKey(const QByteArray &page, const std::vector<PageRun> &runs)
{
    QByteArray key = page;
    const auto *p = reinterpret_cast<const unsigned char *>(page.constData());
    const qsizetype n = page.size();
    for (const PageRun &run : runs) {
        if (!run.text)
            continue;
        const qsizetype end = run.pos + run.len;
        const auto *from = reinterpret_cast<const char *>(p + run.pos);
        if (!std::memchr(from, 0xA2, size_t(run.len)) && !std::memchr(from, 0xF9, size_t(run.len)))
            continue; // the only lead bytes of aliases
        for (qsizetype i = run.pos; i < end;) {
            const qsizetype length = big5CharLength(p, i, n);
            if (length == 2 && (p[i] == 0xA2 || p[i] == 0xF9)) {
                for (const Big5Alias &alias : kBig5Aliases) {
                    if (p[i] == alias.from[0] && p[i + 1] == alias.from[1]) {
                        key[i] = char(alias.to[0]); // detaches from the page on the first change
                        key[i + 1] = char(alias.to[1]);
                        break;
                    }
                }
            }
            i += length;
        }
    }
    return key;
}

} // namespace morvessa
