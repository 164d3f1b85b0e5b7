#pragma once
// Finds one needle in a buffer. Compares two of the needle's bytes, the rarest in the
// text, at 32 places at once (AVX2), and the whole needle only where both agree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <immintrin.h>

namespace morvessa {

// A byte loop rather than memcmp: a call inside a scan loop would make the compiler keep
// the loop's vectors on the stack, a load more a round.
inline bool sameBytes(const char *a, const char *b, std::size_t n)
{
    for (std::size_t k = 0; k < n; ++k)
        if (a[k] != b[k])
            return false;
    return true;
}

// The places of two rounds of 32 where the bytes compared agree, as 64 bits; one test
// for the usual pair of rounds where none does, so that a scan keeps pace with memory.
__attribute__((target("avx2"))) inline std::uint64_t agreeingPlaces(__m256i first32, __m256i next32)
{
    const __m256i any = _mm256_or_si256(first32, next32);
    if (_mm256_testz_si256(any, any))
        return 0;
    return std::uint64_t(std::uint32_t(_mm256_movemask_epi8(first32))) |
           (std::uint64_t(std::uint32_t(_mm256_movemask_epi8(next32))) << 32);
}

class NeedleFinder {
public:
    // byteCounts: how often each byte value occurs in (a sample of) the text.
    NeedleFinder(std::string_view needle, const std::uint64_t *byteCounts);
    // The first place at or after from where needle starts, or nullptr.
    const char *find(const char *from, const char *end) const;
    // As find, and adds to starts how many bytes before that place (or before end) from
    // [from on begin a character (UTF-8): the lines around each hit need the characters
    // before it, and counting them in the same pass costs far less than a second pass.
    const char *findCounting(const char *from, const char *end, std::size_t &starts) const;

private:
    std::string m_needle;
    std::size_t m_first = 0, m_second = 0; // positions of the two bytes compared first
};

} // namespace morvessa
