#pragma once
// Keyword in context: each occurrence of each query term in a record's content, with the
// characters around it. Terms are found as the search matches them (like, letter case
// and width ignored, and with Matching::Variants variant forms too), wildcards included.
#include "search/searchrun.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvessa {

class ContentScanner;
class JetLikePattern;
class VariantTable;

// One record's content for context lines: the text the terms are found in, and the content
// as the table holds it with its differences from the content as written
// (store/writtenform.h). The two texts have the same characters at the same character
// positions.
struct RecordContent {
    std::string_view searched;
    std::string_view held;
    std::string_view differences;
    bool folded = false; // searched is folded (letter case, width): a plain term is its bytes
    const std::uint64_t *byteCounts = nullptr; // of the searched column, for NeedleFinder; null: none
    // Where the search's scan first found its run in searched, when it did: a lone plain
    // term of an exact search is looked for from there.
    std::size_t firstFound = std::string_view::npos;
};

// One line's pieces in UTF-8 as the content is written, valid while the call that gives
// them lasts.
struct LinePieces {
    qint64 offset = 0; // characters of the content before the hit
    std::string_view before, hit, after;
};
using LineSink = std::function<void(const LinePieces &)>;

struct ContextLine {
    qint64 offset = 0; // characters of the content before the hit
    QString before;    // up to width characters before the hit
    QString hit;
    QString after; // up to width characters after it
};

// The line as shown: a byte that begins no character is U+FFFD.
ContextLine contextLine(const LinePieces &pieces);

// Room for one record's lines after another, kept by a caller that asks for many on one
// thread: the buffers the lines are made in are then made once, not once a record.
class LineScratch {
public:
    LineScratch();
    ~LineScratch();
    LineScratch(const LineScratch &) = delete;
    LineScratch &operator=(const LineScratch &) = delete;

    struct Room; // the buffers, known to the concordance alone

private:
    friend class Concordance;
    std::unique_ptr<Room> m_room;
};

class Concordance {
public:
    // The terms of analysis; width characters on each side. Fails when Matching::Variants
    // is asked for and the variant dictionaries cannot be read.
    static Result<Concordance> make(const QueryAnalysis &analysis, Matching matching, int width);
    ~Concordance();
    Concordance(Concordance &&) noexcept;
    Concordance &operator=(Concordance &&) noexcept;

    // The occurrences in content by position, a term's before a later term's at the same
    // place; the first maxHits of them (all when maxHits is 0). A term finds its leftmost
    // match, then the next one after that match's end. The lines show the content as
    // written; only the places around the occurrences are decoded, so a long record costs
    // about one pass of the term's search over it.
    std::vector<ContextLine> linesIn(const RecordContent &content, int maxHits) const;
    // The same lines, as their pieces; in scratch's room where given.
    void eachLineIn(const RecordContent &content, int maxHits, const LineSink &sink,
                    LineScratch *scratch = nullptr) const;

private:
    Concordance(const QueryAnalysis &analysis, std::shared_ptr<const VariantTable> variants, int width);

    std::vector<std::unique_ptr<JetLikePattern>> m_terms;
    std::vector<std::string> m_literals;            // a term without wildcards, folded; empty for the others
    std::shared_ptr<const VariantTable> m_variants; // null: exact matching
    int m_width;
};

} // namespace morvessa
