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
    return rekeyTextRuns(
        page, runs,
        [](uint16_t code) -> uint16_t {
            if (code >> 8 != 0xA2 && code >> 8 != 0xF9)
                return 0;
            for (const Big5Alias &alias : kBig5Aliases)
                if (code == uint16_t(alias.from[0] << 8 | alias.from[1]))
                    return uint16_t(alias.to[0] << 8 | alias.to[1]);
            return 0;
        },
        [](const unsigned char *from, qsizetype length) { // 0xA2 and 0xF9: the only lead bytes of aliases
            return !std::memchr(from, 0xA2, size_t(length)) && !std::memchr(from, 0xF9, size_t(length));
        });
}

} // namespace morvessa
