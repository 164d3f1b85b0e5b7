#pragma once
// Finds a run of variant-folded characters (text/variants.h) in text that is not folded
// for variants: a place matches where each of its characters folds to the run's character
// there. No folded copy of the text is needed: the characters that fold to a run's
// character are known, so their bytes are looked for at 32 places at once (AVX2). Where
// two of those bytes agree, the run's own form is compared, then every byte of the
// window against the bytes its forms allow, and only then are characters decoded.
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvessa {

class VariantTable;

class VariantRunFinder {
public:
    // run: folded for variants (and as the text is folded otherwise); byteCounts: how often
    // each byte value occurs in a sample of the text.
    VariantRunFinder(std::string_view run, const VariantTable &variants, const std::uint64_t *byteCounts);

    struct Match {
        const char *at = nullptr; // null: none
        std::size_t size = 0;     // bytes of the text matched (a form may be longer than the run's)
    };
    // The first match that starts at or after from and ends by end.
    Match find(const char *from, const char *end) const;

private:
    struct ByteSet {
        std::size_t offset = 0;            // from where the window starts in the text
        std::vector<unsigned char> values; // the bytes its characters' forms have there
    };
    // The match around a place where the window's bytes agree, or none.
    Match matchAround(const char *window, const char *from, const char *end) const;
    Match findScalar(const char *from, const char *end) const;

    const VariantTable &m_variants;
    std::u32string m_run;
    std::string m_runBytes;                       // the run in UTF-8: its own form, which texts mostly hold
    std::size_t m_bytesBeforeWindow = 0;          // of the run's own form
    bool m_never = false;                         // a character no text character folds to
    std::size_t m_window = 0;                     // the first run character of the window compared by bytes
    std::size_t m_windowBytes = 0;                // the bytes every form of the window takes
    std::vector<std::bitset<256>> m_windowAllows; // the bytes any form has at each byte of the window
    ByteSet m_first, m_second;                    // the two places of the window compared first
    bool m_vector = false;                        // both sets small enough to compare at 32 places at once
    bool m_leadBytes[256] = {};                   // for the scalar search: the bytes a window's form begins with
};

} // namespace morvessa
