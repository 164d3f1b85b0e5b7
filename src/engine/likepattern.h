#pragma once
// Jet's like: one pattern, parsed once and matched against many texts (UTF-8).
// "%" any run of characters, "_" one character, "[abc]", "[a-c]" one character of the
// set, "[!abc]" or "[^abc]" one character not in it, "[]" nothing at all; every other
// character stands for itself, compared folded (see text/textfold.h). With an escape
// character, the character after it stands for itself.
//
// Matching is greedy between the "%"s: each part between two "%"s is a fixed number of
// characters, so its first place after the previous part is as good as any later one.
// A match therefore costs at most the text's length times the pattern's.
#include "base/result.h"
#include "text/textfold.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace morvessa {

// What the fast scan needs to know of a pattern's form.
struct LikeShape {
    std::string longestRun;     // the longest run of plain characters, folded (UTF-8)
    bool plainContains = false; // the pattern is "%" + longestRun + "%"
    // The pattern is "%", anyBefore "_", the run (perhaps empty), anyAfter "_", "%".
    bool runWithAnyOnes = false;
    std::size_t anyBefore = 0, anyAfter = 0;
};

class JetLikePattern {
public:
    // Fails, saying why, when the pattern is invalid.
    Result<void> compile(std::string_view patternUtf8, char32_t escape);
    bool matches(std::string_view textUtf8) const;
    // Taking the pattern as a piece of a text rather than the whole of it (as "%" at both
    // ends would): the first place at or after from where a match begins, or npos; end
    // receives the end of the shortest match from there. An empty pattern matches nowhere.
    std::size_t find(std::string_view textUtf8, std::size_t from, std::size_t &end) const;
    LikeShape shape() const;

private:
    struct Element {
        enum Kind { Char, AnyOne, Set } kind;
        char32_t c = 0;                             // Char: the folded character
        bool negated = false;                       // Set
        std::size_t firstRange = 0, rangeCount = 0; // Set: slice of m_ranges, sorted and disjoint
    };
    // The parts of a pattern between its "%"s, each a fixed number of characters; the
    // first is anchored at the start of the text, the last at its end.
    struct Segment {
        std::size_t first = 0, count = 0; // slice of m_elements
        bool literal = true;              // only Char elements
        std::string text;                 // the characters of its Char elements
        FoldedFinder finder;              // literal: the whole segment
        // Otherwise the first Char element, searched for to find places worth trying.
        std::size_t anchor = std::string::npos; // its index within the segment
        FoldedFinder anchorFinder;
    };

    bool elementMatches(const Element &e, char32_t folded) const;
    // The end of the segment's match at pos, or npos.
    std::size_t matchAt(const Segment &s, std::string_view text, std::size_t pos) const;
    std::size_t findFrom(const Segment &s, std::string_view text, std::size_t pos, std::size_t &end) const;

    std::vector<Element> m_elements;
    std::vector<std::pair<char32_t, char32_t>> m_ranges;
    std::vector<Segment> m_segments;
};

} // namespace morvessa
