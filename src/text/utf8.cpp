#include "text/utf8.h"

#include "base/vectorwidth.h"

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

namespace {

// Thirty-two bytes at a time, after the known table method: each byte's pair with the
// byte before it is looked up by nibbles in three tables of the faults it could show
// (an overlong form, a surrogate, a code point past U+10FFFF, a lead without its
// continuations, a continuation without its lead), and a fault shows where all three
// agree. Continuations of three- and four-byte forms are told apart by the lead two and
// three bytes back.
constexpr char kTooShort = 1 << 0, kTooLong = 1 << 1, kOverlong3 = 1 << 2, kTooLarge = 1 << 3, kSurrogate = 1 << 4,
               kOverlong2 = 1 << 5, kTooLarge1000 = 1 << 6, kOverlong4 = 1 << 6, kTwoConts = char(1 << 7),
               kCarry = kTooShort | kTooLong | kTwoConts;

template <int N>
__attribute__((target("avx2"))) __m256i bytesBack(__m256i input, __m256i previous)
{
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(previous, input, 0x21), 16 - N);
}

__attribute__((target("avx2"))) __m256i faultsIn(__m256i input, __m256i previous)
{
    const __m256i firstHigh = _mm256_setr_epi8(
        kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTwoConts, kTwoConts,
        kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
        kTooShort | kTooLarge | kTooLarge1000 | kOverlong4, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
        kTooLong, kTooLong, kTooLong, kTwoConts, kTwoConts, kTwoConts, kTwoConts, kTooShort | kOverlong2,
        kTooShort, kTooShort | kOverlong3 | kSurrogate, kTooShort | kTooLarge | kTooLarge1000 | kOverlong4);
    constexpr char kAbove = kCarry | kTooLarge | kTooLarge1000;
    const __m256i firstLow = _mm256_setr_epi8(
        kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry, kCarry | kTooLarge,
        kAbove, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove | kSurrogate, kAbove, kAbove,
        kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry, kCarry | kTooLarge,
        kAbove, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove | kSurrogate, kAbove, kAbove);
    constexpr char kCont = kTooLong | kOverlong2 | kTwoConts;
    const __m256i secondHigh =
        _mm256_setr_epi8(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                         kCont | kOverlong3 | kTooLarge1000 | kOverlong4, kCont | kOverlong3 | kTooLarge,
                         kCont | kSurrogate | kTooLarge, kCont | kSurrogate | kTooLarge, kTooShort, kTooShort,
                         kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                         kTooShort, kTooShort, kCont | kOverlong3 | kTooLarge1000 | kOverlong4,
                         kCont | kOverlong3 | kTooLarge, kCont | kSurrogate | kTooLarge,
                         kCont | kSurrogate | kTooLarge, kTooShort, kTooShort, kTooShort, kTooShort);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i back1 = bytesBack<1>(input, previous);
    const __m256i special = _mm256_and_si256(
        _mm256_and_si256(_mm256_shuffle_epi8(firstHigh, _mm256_and_si256(_mm256_srli_epi16(back1, 4), nibble)),
                         _mm256_shuffle_epi8(firstLow, _mm256_and_si256(back1, nibble))),
        _mm256_shuffle_epi8(secondHigh, _mm256_and_si256(_mm256_srli_epi16(input, 4), nibble)));
    // A third byte follows a lead of 1110xxxx or more two back, a fourth one of 11110xxx three back.
    const __m256i third = _mm256_subs_epu8(bytesBack<2>(input, previous), _mm256_set1_epi8(char(0xE0 - 0x80)));
    const __m256i fourth = _mm256_subs_epu8(bytesBack<3>(input, previous), _mm256_set1_epi8(char(0xF0 - 0x80)));
    const __m256i mustContinue = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
    return _mm256_xor_si256(mustContinue, special);
}

__attribute__((target("avx2"))) bool wellFormedAvx2(const char *p, std::size_t n)
{
    __m256i faults = _mm256_setzero_si256(), previous = _mm256_setzero_si256();
    std::size_t k = 0;
    for (; k + 32 <= n; k += 32) {
        const __m256i input = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + k));
        // Plain ASCII after plain ASCII has nothing to fault.
        if (_mm256_movemask_epi8(_mm256_or_si256(input, previous)) != 0)
            faults = _mm256_or_si256(faults, faultsIn(input, previous));
        previous = input;
    }
    // The last bytes with ASCII after them: a form cut short at the end is then a fault too.
    alignas(32) char last[32] = {};
    for (std::size_t j = 0; k + j < n; ++j)
        last[j] = p[k + j];
    faults =
        _mm256_or_si256(faults, faultsIn(_mm256_load_si256(reinterpret_cast<const __m256i *>(last)), previous));
    return _mm256_testz_si256(faults, faults);
}

} // namespace

bool wellFormedUtf8(std::string_view text)
{
    if (vectorWidth() >= VectorWidth::Avx2)
        return wellFormedAvx2(text.data(), text.size());
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

__attribute__((target("avx512bw"))) std::size_t countStartsAvx512(const char *p, std::size_t n)
{
    std::size_t count = 0, k = 0;
    const __m512i below = _mm512_set1_epi8(-65);
    for (; k + 64 <= n; k += 64)
        count += std::size_t(__builtin_popcountll(_mm512_cmpgt_epi8_mask(_mm512_loadu_si512(p + k), below)));
    return count + countStartsAvx2(p + k, n - k);
}

} // namespace

std::size_t countCharacterStarts(const char *p, std::size_t n)
{
    switch (vectorWidth()) {
    case VectorWidth::Avx512:
        return countStartsAvx512(p, n);
    case VectorWidth::Avx2:
        return countStartsAvx2(p, n);
    case VectorWidth::None:
        break;
    }
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
