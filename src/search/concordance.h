#pragma once
// Keyword in context: each occurrence of each query term in a record's content, with the
// characters around it. Terms are found as the search matches them (like, letter case
// and width ignored, and with Matching::Variants variant forms too), wildcards included.
#include "search/searchrun.h"
#include "store/storetable.h"

#include <QString>

#include <memory>
#include <string_view>
#include <vector>

namespace morvessa {

class JetLikePattern;
class VariantTable;

struct ContextLine {
    qint64 offset = 0; // characters of the content before the hit
    QString before;    // up to width characters before the hit
    QString hit;
    QString after; // up to width characters after it
};

class Concordance {
public:
    // The terms of analysis; width characters on each side. Fails when Matching::Variants
    // is asked for and the variant dictionaries cannot be read.
    static Result<Concordance> make(const QueryAnalysis &analysis, Matching matching, int width);
    ~Concordance();
    Concordance(Concordance &&) noexcept;
    Concordance &operator=(Concordance &&) noexcept;

    // The occurrences in content (UTF-8, as stored) by position, a term's before a later
    // term's at the same place; the first maxHits of them (all when maxHits is 0). A term
    // finds its leftmost match, then the next one after that match's end.
    std::vector<ContextLine> linesIn(std::string_view content, int maxHits) const;

private:
    Concordance(const QueryAnalysis &analysis, std::shared_ptr<const VariantTable> variants, int width);

    std::vector<std::unique_ptr<JetLikePattern>> m_terms;
    std::shared_ptr<const VariantTable> m_variants; // null: exact matching
    int m_width;
};

// A search whose records come with their content as stored, for context lines.
struct ContextSearch {
    SearchOutcome outcome;
    std::shared_ptr<const StoreTable> table; // content as written

    // The content of result row `row`; empty when the row is not one of the table's.
    std::string_view contentOf(int row) const;
};

// Reads the collection of connString with its content as written and runs the search
// on it; a failure names the file.
Result<ContextSearch> runContextSearch(const QString &connString, const QueryAnalysis &analysis,
                                       Matching matching);

} // namespace morvessa
