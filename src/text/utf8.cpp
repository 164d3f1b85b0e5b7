#include "text/utf8.h"

#include <cstdint>
#include <immintrin.h>

namespace morvessa {

int decodeUtf8(std::string_view text, std::size_t pos, char32_t &c)
{
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t n = text.size();
    const unsigned char b = s[pos];
    if (b < 0x80) {
        c = b;
        return 1;
    }
    int len;
    char32_t v;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        v = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        v = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        v = b & 0x07;
        min = 0x10000;
    } else {
        c = kInvalidUtf8 + b;
        return 1;
    }
    if (pos + std::size_t(len) > n) {
        c = kInvalidUtf8 + b;
        return 1;
    }
    for (int k = 1; k < len; ++k) {
        const unsigned char t = s[pos + std::size_t(k)];
        if ((t & 0xC0) != 0x80) {
            c = kInvalidUtf8 + b;
            return 1;
        }
        v = (v << 6) | (t & 0x3F);
    }
    if (v < min || v > kMaxCodePoint || (v >= 0xD800 && v <= 0xDFFF)) {
        c = kInvalidUtf8 + b;
        return 1;
    }
    c = v;
    return len;
}

std::size_t previousUtf8(std::string_view text, std::size_t pos)
{
    for (std::size_t back = 2; back <= 4 && back <= pos; ++back) {
        const std::size_t start = pos - back;
        const auto b = static_cast<unsigned char>(text[start]);
        if ((b & 0xC0) == 0x80)
            continue;
        char32_t c;
        if (decodeUtf8(text, start, c) == static_cast<int>(back))
            return start;
        break;
    }
    return pos - 1;
}

void appendUtf8(std::string &out, char32_t c)
{
    unsigned char buf[4];
    out.append(reinterpret_cast<const char *>(buf), std::size_t(encodeUtf8(c, buf)));
}

bool wellFormedUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        char32_t c;
        i += std::size_t(decodeUtf8(text, i, c));
        if (c >= kInvalidUtf8)
            return false;
    }
    return true;
}

namespace {

// Continuation bytes (10xxxxxx) are the signed bytes below -64.
__attribute__((target("avx2"))) std::size_t countStartsAvx2(const char *p, std::size_t n)
{
    std::size_t count = 0, k = 0;
    const __m256i below = _mm256_set1_epi8(-65);
    for (; k + 32 <= n; k += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + k));
        count += std::size_t(__builtin_popcount(std::uint32_t(_mm256_movemask_epi8(_mm256_cmpgt_epi8(x, below)))));
    }
    for (; k < n; ++k)
        count += (static_cast<unsigned char>(p[k]) & 0xC0) != 0x80;
    return count;
}

} // namespace

std::size_t countCharacterStarts(const char *p, std::size_t n)
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return countStartsAvx2(p, n);
    std::size_t count = 0;
    for (std::size_t k = 0; k < n; ++k)
        count += (static_cast<unsigned char>(p[k]) & 0xC0) != 0x80;
    return count;
}

bool atLeastUtf8Chars(std::string_view text, std::size_t k)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size() && n < k; ++n) {
        char32_t c;
        i += std::size_t(decodeUtf8(text, i, c));
    }
    return n >= k;
}

} // namespace morvessa
