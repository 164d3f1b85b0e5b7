#include "engine/needlefinder.h"

#include "base/vectorwidth.h"
#include "text/utf8.h"

#include <algorithm>
#include <cstring>
#include <immintrin.h>
#include <string.h> // memmem

namespace morvessa {

NeedleFinder::NeedleFinder(std::string_view needle, const std::uint64_t *byteCounts) : m_needle(needle)
{
    constexpr size_t npos = std::string_view::npos;
    if (needle.size() < 2)
        return;
    // The rarest byte, then the rarest other one; equal bytes would tell nothing new.
    auto rarity = [&](size_t k) { return byteCounts[static_cast<unsigned char>(needle[k])]; };
    size_t a = 0;
    for (size_t k = 1; k < needle.size(); ++k)
        if (rarity(k) < rarity(a))
            a = k;
    size_t b = npos;
    for (size_t k = 0; k < needle.size(); ++k)
        if (needle[k] != needle[a] && (b == npos || rarity(k) < rarity(b)))
            b = k;
    if (b == npos) // every byte the same
        b = a == 0 ? needle.size() - 1 : 0;
    m_first = std::min(a, b);
    m_second = std::max(a, b);
}

namespace {

__attribute__((target("avx2"))) inline __m256i at(const char *q)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q));
}

// The rounds of 64 places (one test for the usual round where none agrees: the loop then
// keeps pace with the memory bus), from p while a round fits before end; p moves on past
// the rounds passed. With counting, it adds to starts the bytes passed that begin a
// character (those of 0x80-0xBF, as signed bytes, lie below -64).
template <bool kCounting>
__attribute__((target("avx2"))) const char *findInRounds(const char *&p, const char *end,
                                                         const std::string &needle, size_t first, size_t second,
                                                         size_t *starts = nullptr)
{
    const size_t n = needle.size();
    const char *const data = needle.data();
    const __m256i a = _mm256_set1_epi8(needle[first]);
    const __m256i b = _mm256_set1_epi8(needle[second]);
    const __m256i continuing = _mm256_set1_epi8(-65);
    for (; end - p >= std::ptrdiff_t(n + 63); p += 64) {
        const __m256i m0 =
            _mm256_and_si256(_mm256_cmpeq_epi8(at(p + first), a), _mm256_cmpeq_epi8(at(p + second), b));
        const __m256i m1 =
            _mm256_and_si256(_mm256_cmpeq_epi8(at(p + 32 + first), a), _mm256_cmpeq_epi8(at(p + 32 + second), b));
        std::uint64_t beginning = 0;
        if constexpr (kCounting)
            beginning =
                std::uint64_t(std::uint32_t(_mm256_movemask_epi8(_mm256_cmpgt_epi8(at(p), continuing)))) |
                (std::uint64_t(std::uint32_t(_mm256_movemask_epi8(_mm256_cmpgt_epi8(at(p + 32), continuing))))
                 << 32);
        for (std::uint64_t mask = agreeingPlaces(m0, m1); mask; mask &= mask - 1) {
            const int bit = __builtin_ctzll(mask);
            if (sameBytes(p + bit, data, n)) {
                if constexpr (kCounting)
                    *starts += size_t(__builtin_popcountll(beginning & ((std::uint64_t(1) << bit) - 1)));
                return p + bit;
            }
        }
        if constexpr (kCounting)
            *starts += size_t(__builtin_popcountll(beginning));
    }
    return nullptr;
}

__attribute__((target("avx2"))) const char *findAvx2(const char *p, const char *end, const std::string &needle,
                                                     size_t first, size_t second)
{
    if (const char *found = findInRounds<false>(p, end, needle, first, second))
        return found;
    const size_t n = needle.size();
    const __m256i a = _mm256_set1_epi8(needle[first]);
    const __m256i b = _mm256_set1_epi8(needle[second]);
    for (; end - p >= std::ptrdiff_t(n + 31); p += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + first));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + second));
        auto mask = std::uint32_t(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(x, a), _mm256_cmpeq_epi8(y, b))));
        while (mask) {
            const int bit = __builtin_ctz(mask);
            if (std::memcmp(p + bit, needle.data(), n) == 0)
                return p + bit;
            mask &= mask - 1;
        }
    }
    // The last few places, one by one (memmem's setup would cost more here).
    for (; end - p >= std::ptrdiff_t(n); ++p)
        if (p[first] == needle[first] && p[second] == needle[second] && std::memcmp(p, needle.data(), n) == 0)
            return p;
    return nullptr;
}

// The places of the 64 from q where both bytes compared agree.
__attribute__((target("avx512bw"))) inline std::uint64_t agreeing64(const char *q, size_t first, size_t second,
                                                                    __m512i a, __m512i b)
{
    return _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(q + first), a) &
           _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(q + second), b);
}

// As findInRounds<true>, 128 places a round in 64-byte registers, whose compares give
// their masks at once: half again as fast as two rounds of 32.
__attribute__((target("avx512bw"))) const char *findCountingAvx512(const char *&p, const char *end,
                                                                   const std::string &needle, size_t first,
                                                                   size_t second, size_t &starts)
{
    const size_t n = needle.size();
    const char *const data = needle.data();
    const __m512i a = _mm512_set1_epi8(needle[first]);
    const __m512i b = _mm512_set1_epi8(needle[second]);
    const __m512i continuing = _mm512_set1_epi8(-65);
    for (; end - p >= std::ptrdiff_t(n + 127); p += 128) {
        const std::uint64_t m0 = agreeing64(p, first, second, a, b), m1 = agreeing64(p + 64, first, second, a, b);
        const std::uint64_t s0 = _mm512_cmpgt_epi8_mask(_mm512_loadu_si512(p), continuing);
        const std::uint64_t s1 = _mm512_cmpgt_epi8_mask(_mm512_loadu_si512(p + 64), continuing);
        if (__builtin_expect((m0 | m1) != 0, 0)) {
            for (std::uint64_t mask = m0; mask; mask &= mask - 1) {
                const int bit = __builtin_ctzll(mask);
                if (sameBytes(p + bit, data, n)) {
                    starts += size_t(__builtin_popcountll(s0 & ((std::uint64_t(1) << bit) - 1)));
                    return p + bit;
                }
            }
            for (std::uint64_t mask = m1; mask; mask &= mask - 1) {
                const int bit = __builtin_ctzll(mask);
                if (sameBytes(p + 64 + bit, data, n)) {
                    starts += size_t(__builtin_popcountll(s0)) +
                              size_t(__builtin_popcountll(s1 & ((std::uint64_t(1) << bit) - 1)));
                    return p + 64 + bit;
                }
            }
        }
        starts += size_t(__builtin_popcountll(s0)) + size_t(__builtin_popcountll(s1));
    }
    return nullptr;
}

} // namespace

const char *NeedleFinder::findCounting(const char *from, const char *end, std::size_t &starts) const
{
    if (m_needle.size() >= 2 && from < end) {
        const VectorWidth width = vectorWidth();
        if (width == VectorWidth::Avx512) {
            if (const char *found = findCountingAvx512(from, end, m_needle, m_first, m_second, starts))
                return found;
        }
        if (width >= VectorWidth::Avx2) {
            if (const char *found = findInRounds<true>(from, end, m_needle, m_first, m_second, &starts))
                return found;
        }
    }
    const char *found = find(from, end);
    if (from < end)
        starts += countCharacterStarts(from, size_t((found ? found : end) - from));
    return found;
}

const char *NeedleFinder::find(const char *from, const char *end) const
{
    if (from >= end || size_t(end - from) < m_needle.size())
        return nullptr;
    if (m_needle.size() == 1)
        return static_cast<const char *>(std::memchr(from, m_needle[0], size_t(end - from)));
    if (vectorWidth() >= VectorWidth::Avx2)
        return findAvx2(from, end, m_needle, m_first, m_second);
    return static_cast<const char *>(memmem(from, size_t(end - from), m_needle.data(), m_needle.size()));
}

} // namespace morvessa
