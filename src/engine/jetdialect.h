#pragma once
// The Jet SQL dialect on SQLite: "&" concatenation, chr(n), [date], and Jet's like.
#include "text/textfold.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace morvessa {

// Rewrites a Jet statement into SQLite's dialect: "&" becomes "||", a "..." text literal
// becomes '...'; '...' literals and [names] are left untouched. A where clause that is a
// long chain of one connective (and/or) is regrouped into a balanced tree, so thousands
// of terms stay within SQLite's expression depth limit.
QString jetToSqlite(const QString &jetSql);

// Registers chr() and Jet's like (%, _, [set], [!set], case- and width-insensitive)
// on a connection, in place of SQLite's like. An invalid pattern (unclosed "[") makes
// the statement fail with a Traditional Chinese message. NULL never matches. chr(n)
// gives the character with code n. Throws std::runtime_error only when SQLite cannot
// register a function (out of memory).
void registerJetFunctions(sqlite3 *db);

// One like pattern, parsed once and matched against many texts (UTF-8).
// "%" any run of characters, "_" one character, "[abc]", "[a-c]" one character of the
// set, "[!abc]" or "[^abc]" one character not in it, "[]" nothing at all; every other
// character stands for itself, compared folded (see textfold.h). With an escape
// character, the character after it stands for itself.
class JetLikePattern {
public:
    // Returns false and sets error (Traditional Chinese) when the pattern is invalid.
    bool compile(std::string_view patternUtf8, char32_t escape, QString *error);
    bool matches(std::string_view textUtf8) const;
    // Taking the pattern as a piece of a text rather than the whole of it (as "%" at both
    // ends would): the first place at or after from where a match begins, or npos; end
    // receives the end of the shortest match from there. An empty pattern matches nowhere.
    size_t find(std::string_view textUtf8, size_t from, size_t &end) const;

private:
    struct Element {
        enum Kind { Char, AnyOne, Set } kind;
        char32_t c = 0;      // Char: the folded character
        bool negated = false;// Set
        size_t firstRange = 0, rangeCount = 0; // Set: slice of m_ranges
    };
    // The parts of a pattern between its "%"s, each a fixed number of characters; the
    // first is anchored at the start of the text, the last at its end.
    struct Segment {
        size_t first = 0, count = 0; // slice of m_elements
        bool literal = true;         // only Char elements
        std::string text;            // the characters of its Char elements
        FoldedFinder finder;         // literal: the whole segment
        // Otherwise the first Char element, searched for to find places worth trying.
        size_t anchor = std::string::npos; // its index within the segment
        FoldedFinder anchorFinder;
    };

    bool elementMatches(const Element &e, char32_t folded) const;
    // The end of the segment's match at pos, or npos.
    size_t matchAt(const Segment &s, std::string_view text, size_t pos) const;
    size_t findFrom(const Segment &s, std::string_view text, size_t pos, size_t &end) const;

    std::vector<Element> m_elements;
    std::vector<std::pair<char32_t, char32_t>> m_ranges;
    std::vector<Segment> m_segments;
};

} // namespace morvessa
