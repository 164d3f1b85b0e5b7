#pragma once
// Finds one needle in a buffer. Compares two of the needle's bytes, the rarest in the
// text, at 32 places at once (AVX2), and the whole needle only where both agree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvessa {

class NeedleFinder {
public:
    // byteCounts: how often each byte value occurs in (a sample of) the text.
    NeedleFinder(std::string_view needle, const std::uint64_t *byteCounts);
    // The first place at or after from where needle starts, or nullptr.
    const char *find(const char *from, const char *end) const;

private:
    std::string m_needle;
    std::size_t m_first = 0, m_second = 0; // positions of the two bytes compared first
};

} // namespace morvessa
