#pragma once
// A search whose records come with their context lines (search/concordance.h).
//
// The lines of the records found are made while the search's scan has each record at
// hand, kept in order of rows (past a few megabytes in a temporary file, which the system
// may drop from memory) and given out in the result's order. Reading each record again
// afterwards cost several times the search on long records. A record the scan did not
// show (a statement it does not answer) is read again for its lines.
#include "search/concordance.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvessa {

class SeenLines;

struct ContextOptions {
    int width = 20;  // characters on each side of a hit
    int maxHits = 0; // lines of a record at most; 0: all
    // Make the lines as the scan finds the records; off when only a few records will be
    // asked for (the rest would be made for nothing).
    bool duringScan = true;
    std::size_t memoryLimit = std::size_t(1) << 20; // bytes of lines held in memory at most
};

class ContextSearch {
public:
    ContextSearch(SearchOutcome found, std::shared_ptr<const StoreTable> held, Concordance concordance,
                  int maxHits);
    ~ContextSearch();
    ContextSearch(ContextSearch &&) noexcept;
    ContextSearch &operator=(ContextSearch &&) noexcept;

    SearchOutcome outcome;
    std::shared_ptr<const StoreTable> table;       // the content as held, with its differences
    std::shared_ptr<const ContentScanner> scanner; // the search's scanner over it, where folded

    // Every line of count rows of the result from row `from`, in its order, with its row;
    // stretch: rows looked up at once. Before each row after the first, goOn (when given)
    // may stop it. Returns the row after the last one given. Two threads may ask at once.
    using RowLineSink = std::function<void(int row, const LinePieces &)>;
    int eachLineOfRows(int from, int count, const RowLineSink &sink, int stretch = 4096,
                       const std::function<bool()> &goOn = {}) const;
    // The lines of result row `row`, as the concordance gives them on its content.
    std::vector<ContextLine> linesOf(int row) const;
    // The content of result row `row`; empty when the row is not one of the table's. It
    // holds what the next call overwrites (one thread at a time).
    RecordContent contentOf(int row) const;

private:
    friend Result<ContextSearch> runContextSearch(const QString &, const QueryAnalysis &, Matching,
                                                  const Collection &, const ContextOptions &);
    Concordance m_concordance;
    int m_maxHits;
    std::unique_ptr<SeenLines> m_seen; // null: every record is read again
    struct Copies {
        std::string content, written; // a row's, where the table is read
    };
    RecordContent contentOf(int row, Copies &copies) const;
    mutable Copies m_copies; // contentOf's
};

// Runs the search on the collection of connString as a search without context does (the
// same loaded table); a failure names the file. Fails as Concordance::make does too.
Result<ContextSearch> runContextSearch(const QString &connString, const QueryAnalysis &analysis, Matching matching,
                                       const Collection &collection = Collection(),
                                       const ContextOptions &options = ContextOptions());

} // namespace morvessa
