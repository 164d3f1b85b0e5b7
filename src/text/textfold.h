#pragma once
// Text folding for the engine's text comparison: letter case (Unicode simple case
// folding) and width (full-width U+FF01..U+FF5E against U+0021..U+007E) are ignored,
// everything else, CJK included, compares exactly. Two texts compare equal exactly
// when their folded forms are equal, so matching becomes exact matching of folds.
// Folding maps one code point to one code point, so lengths in characters are kept.
#include <QString>

#include <array>
#include <string>
#include <string_view>

namespace morvessa {

char32_t foldChar(char32_t c);

// True when c is its own fold and no other character folds to c: such a character
// can be compared unfolded.
bool foldsAlone(char32_t c);

QString foldText(const QString &text);

// Bytes that are not well-formed UTF-8 are copied unchanged.
std::string foldUtf8(std::string_view text);
// Appends text folded to out.
void appendFolded(std::string &out, std::string_view text);
// Folds bytes[from..] in place.
void foldContent(std::string &bytes, size_t from = 0);

// Finds one needle in many texts under folded comparison, without folding the texts.
// When every character of the needle folds alone the bytes are compared as they are;
// otherwise the places where a character folding to the needle's first one begins are
// tried, each compared character by character.
class FoldedFinder {
public:
    static constexpr size_t npos = std::string_view::npos;

    FoldedFinder() = default;
    explicit FoldedFinder(std::string_view needleUtf8);

    // The first match at or after from (a character start), or npos; end receives the
    // end of the match.
    size_t find(std::string_view textUtf8, size_t from, size_t &end) const;
    // The end of the match that starts at pos, or npos.
    size_t matchAt(std::string_view textUtf8, size_t pos) const;
    bool foundIn(std::string_view textUtf8) const;

    const std::string &foldedNeedle() const { return m_needle; }
    size_t length() const { return m_chars.size(); } // in characters
    bool bytewise() const { return m_bytewise; }

private:
    std::string m_needle;
    std::u32string m_chars;
    bool m_bytewise = true;
    std::string m_firstBytes;       // the first character, when it folds alone
    std::array<bool, 256> m_lead{}; // otherwise the lead bytes of characters folding to it
};

} // namespace morvessa
