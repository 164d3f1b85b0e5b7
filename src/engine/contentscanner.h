#pragma once
// Finds the rows whose content is like a pattern. Searches the content folded (case,
// width), in one buffer, so that a plain term is one substring search over it; patterns
// with wildcards are searched for their longest plain run and then decided by the
// reference like on the row itself. The like ignores case and width, so it gives the
// same answer on folded content as on the content as written.
#include "engine/foldedcolumn.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace morvessa {

class VariantTable;

// Sees each row a scan keeps with its content (folded as the scanner holds it) while the
// scan has it at hand. A large text is scanned in two lanes at once: the rows of one lane
// come from one thread, in file order, those of lane 0 before those of lane 1 in the file.
// A kept file's rows are seen before its checks settle: what is made of them may be used
// only once they have. firstHit: where in text the scan first found the run it looked for
// (npos when the row's ends said nothing sensible).
using RowWatcher =
    std::function<void(unsigned lane, std::uint32_t row, std::string_view text, std::size_t firstHit)>;

class ContentScanner {
public:
    // A column already folded (foldContent, or any other fold the patterns are folded
    // alike with) is searched as it is; other content is folded into a copy first.
    explicit ContentScanner(TextColumn rows, bool folded = false);
    ContentScanner(const ContentScanner &) = delete;
    ContentScanner &operator=(const ContentScanner &) = delete;

    // Rows in file order whose content is like pattern, as the reference like decides;
    // nullopt when the pattern is invalid (the plain path then reports it). With variants
    // the pattern is folded for variants and matches the content as folded alike (the
    // content is not folded for it: its forms are looked for). A watcher sees the rows
    // found where the scan looks for a run (not for a pattern of "_" and "%" alone).
    std::optional<std::vector<std::uint32_t>> rowsLike(std::string_view pattern,
                                                       const VariantTable *variants = nullptr,
                                                       const RowWatcher *watcher = nullptr) const;
    // The rows of candidates (ascending) whose content is like pattern; for a few
    // candidates this is cheaper than a whole scan.
    std::optional<std::vector<std::uint32_t>> rowsLikeAmong(std::string_view pattern,
                                                            const std::vector<std::uint32_t> &candidates,
                                                            const VariantTable *variants = nullptr) const;

    std::size_t rowCount() const { return m_folded.view().size(); }
    // How often each byte value occurs in a sample of the text (for NeedleFinder).
    const std::uint64_t *byteCounts() const { return m_byteCounts; }
    std::size_t ownBytes() const { return m_folded.ownBytes(); }
    // Bytes of content looked at so far, by whole scans and row by row: the work done,
    // which grows with what the patterns ask and not with the clock.
    std::uint64_t bytesVisited() const { return m_visited.load(std::memory_order_relaxed); }

private:
    // The bytes scanned are known whole (a kept file's checks all done, and held).
    bool settled() const;
    // Decides on a row the scan found: its text and where in it the needle is first found.
    using RowTest = std::function<bool(std::string_view text, std::size_t firstHit)>;
    // Non-null rows whose folded content contains needle (already folded), or one of its
    // forms with variants; with test, only those it keeps (it sees the row while the scan
    // has it at hand); the watcher sees those kept.
    void scan(std::string_view needle, const VariantTable *variants, std::vector<std::uint32_t> &out,
              const RowTest &test = {}, const RowWatcher *watcher = nullptr) const;
    // Bytes [begin, end) of the text, whose rows are [firstRow, endRow).
    struct Part {
        std::size_t begin, end, firstRow, endRow;
    };
    void scanPart(const Part &part, std::string_view needle, const VariantTable *variants,
                  std::vector<std::uint32_t> &out, const RowTest &test, const RowWatcher *watcher,
                  unsigned lane) const;
    void visit(std::size_t bytes) const { m_visited.fetch_add(bytes, std::memory_order_relaxed); }

    FoldedColumn m_folded;
    std::uint64_t m_byteCounts[256] = {}; // a sample of the folded text, for NeedleFinder
    mutable std::atomic<std::uint64_t> m_visited{0};
};

} // namespace morvessa
