#include "store/jettext.h"

#include "text/utf8.h"

#include <cstdint>

namespace morvessa {

// After the marker FF FE: runs of one-byte characters (U+0001..U+00FF) and two-byte
// characters, switched by a zero byte.
void appendJet4Text(const unsigned char *src, std::size_t len, std::string &out)
{
    // Every source byte gives at most two UTF-8 bytes, a lone surrogate at the end three.
    const std::size_t oldSize = out.size();
    out.resize(oldSize + 2 * len + 4);
    auto *const begin = reinterpret_cast<unsigned char *>(out.data()) + oldSize;
    unsigned char *d = begin;
    auto put = [&d](std::uint32_t cp) { d += encodeUtf8(cp, d); };
    std::uint32_t pendingHigh = 0; // a high surrogate waiting for its partner
    auto unit = [&](std::uint32_t u) {
        if (pendingHigh) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                put(0x10000 + ((pendingHigh - 0xD800) << 10) + (u - 0xDC00));
                pendingHigh = 0;
                return;
            }
            put(0xFFFD);
            pendingHigh = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            pendingHigh = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            put(0xFFFD);
        else
            put(u);
    };

    std::size_t i = 0;
    if (len >= 2 && src[0] == 0xFF && src[1] == 0xFE) {
        bool compressed = true;
        i = 2;
        while (i < len) {
            if (src[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                unit(src[i]);
                ++i;
            } else if (i + 1 < len) {
                unit(std::uint32_t(src[i]) | (std::uint32_t(src[i + 1]) << 8));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (; i + 1 < len; i += 2)
            unit(std::uint32_t(src[i]) | (std::uint32_t(src[i + 1]) << 8));
    }
    if (pendingHigh)
        put(0xFFFD);
    out.resize(oldSize + std::size_t(d - begin));
}

std::string jet4TextToUtf8(std::string_view stored)
{
    std::string out;
    appendJet4Text(reinterpret_cast<const unsigned char *>(stored.data()), stored.size(), out);
    return out;
}

} // namespace morvessa
