#pragma once
// The fast path of the search engine. The statements SqlText builds are answered here
// straight from the table's columns: each "content like" term is a substring search over
// the content bytes, the date order is the table's precomputed one. Results are the same
// as on the plain path (SQLite running the statement with the reference like); only the
// time differs. Anything this path does not fully understand goes to the plain path.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvessa {

// The plain path: statements run on SQLite with the reference like alone, nothing is
// answered here and no result is reused. Starts on when MORVESSA_PLAIN_SEARCH=1 is set.
void setPlainSearch(bool on);
bool plainSearch();

// The content column as the table holds it: all values back to back, value i spanning
// [ends[i-1], ends[i]).
struct ContentRows {
    std::string_view bytes;
    const std::uint64_t *ends = nullptr;
    const std::uint8_t *isNull = nullptr;
    std::size_t count = 0;

    std::string_view at(std::size_t row) const
    {
        const std::uint64_t begin = row == 0 ? 0 : ends[row - 1];
        return bytes.substr(begin, ends[row] - begin);
    }
};

// Finds one needle in a buffer. Compares two of the needle's bytes, the rarest in the
// text, at 32 places at once, and the whole needle only where both agree.
class NeedleFinder {
public:
    NeedleFinder(std::string_view needle, const std::uint64_t *byteCounts);
    // The first place at or after from where needle starts, or nullptr.
    const char *find(const char *from, const char *end) const;

private:
    std::string m_needle;
    std::size_t m_first = 0, m_second = 0; // positions of the two bytes compared first
};

// Finds the rows whose content is like a pattern. Searches the content folded (case,
// width), in one buffer, so that a plain term is one substring search over it; patterns
// with wildcards are searched for their longest plain run and then decided by the
// reference like on the row itself. The like ignores case and width, so it gives the
// same answer on folded content as on the content as written.
class ContentScanner {
public:
    // rows.bytes already folded (foldContent) are searched as they are; other content
    // is folded into a copy first.
    explicit ContentScanner(ContentRows rows, bool folded = false);
    ContentScanner(const ContentScanner &) = delete;
    ContentScanner &operator=(const ContentScanner &) = delete;

    // Rows in file order whose content is like pattern, as the reference like decides;
    // nullopt when the pattern is invalid (the plain path then reports it).
    std::optional<std::vector<std::uint32_t>> rowsLike(std::string_view pattern) const;
    // The rows of candidates (ascending) whose content is like pattern; for a few
    // candidates this is cheaper than a whole scan.
    std::optional<std::vector<std::uint32_t>> rowsLikeAmong(std::string_view pattern,
                                                            const std::vector<std::uint32_t> &candidates) const;

    std::size_t rowCount() const { return m_rows.count; }
    std::size_t ownBytes() const { return m_ownFolded.size(); }

private:
    // Non-null rows whose folded content contains needle (already folded); with firstHits,
    // also where in the row the needle is first found.
    void scan(std::string_view needle, std::vector<std::uint32_t> &out,
              std::vector<std::uint32_t> *firstHits = nullptr) const;
    std::string_view foldedAt(std::size_t row) const
    {
        const std::uint64_t begin = row == 0 ? 0 : m_foldedEnds[row - 1];
        return m_folded.substr(begin, m_foldedEnds[row] - begin);
    }

    ContentRows m_rows;
    std::string m_ownFolded;
    std::vector<std::uint64_t> m_ownEnds;
    std::string_view m_folded;
    const std::uint64_t *m_foldedEnds = nullptr;
    std::uint64_t m_byteCounts[256] = {}; // a sample of the folded text, for NeedleFinder
};

// The scanner of a table's content, made on first use and kept while owner lives;
// rows must stay valid as long as owner does.
std::shared_ptr<const ContentScanner> scannerFor(const std::shared_ptr<const void> &owner, ContentRows rows,
                                                  bool folded);

// A statement exactly as SqlText builds it.
struct SearchStatement {
    enum Kind { AllRows, AllTerms, AnyTerm } kind = AllRows;
    std::vector<std::string> patterns; // the like patterns, apostrophe escapes resolved
};
std::optional<SearchStatement> parseSearchStatement(std::string_view jetSql);

// Answers a statement: row indexes in result order, or nullopt when the plain path must
// run it. newestFirst is the table's date order (newest first, no date last, ties in
// file order).
std::optional<std::vector<std::uint32_t>> runFast(std::string_view jetSql, const ContentScanner &scanner,
                                                  std::span<const std::uint32_t> newestFirst);

} // namespace morvessa
