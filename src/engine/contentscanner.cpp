#include "engine/contentscanner.h"

#include "engine/likepattern.h"
#include "engine/needlefinder.h"
#include "engine/variantfinder.h"
#include "store/chunkcheck.h"
#include "text/utf8.h"
#include "text/variants.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace morvessa {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Finds a pattern's plain run in the text: its bytes, or with variants any of its forms.
class RunFinder {
public:
    struct Match {
        const char *at = nullptr;
        std::size_t size = 0;
    };
    RunFinder(std::string_view run, const std::uint64_t *byteCounts, const VariantTable *variants)
    {
        if (variants)
            m_forms.emplace(run, *variants, byteCounts);
        else
            m_bytes.emplace(run, byteCounts);
        m_size = run.size();
    }
    Match find(const char *from, const char *end) const
    {
        if (m_forms) {
            const VariantRunFinder::Match m = m_forms->find(from, end);
            return {m.at, m.size};
        }
        const char *at = m_bytes->find(from, end);
        return {at, at ? m_size : 0};
    }

private:
    std::optional<NeedleFinder> m_bytes;
    std::optional<VariantRunFinder> m_forms;
    std::size_t m_size = 0;
};

// text (folded) holds the run (found with finder) with at least anyBefore characters
// before it and anyAfter after it.
// firstHit: where the run is first found in text, when a scan has told (else npos).
bool matchesRunWithAnyOnes(std::string_view text, const LikeShape &shape, const RunFinder &finder,
                           std::size_t firstHit = npos)
{
    if (shape.longestRun.empty()) // only "_": enough characters
        return atLeastUtf8Chars(text, shape.anyBefore + shape.anyAfter);
    const char *begin = text.data();
    const char *end = begin + text.size();
    for (RunFinder::Match hit = finder.find(firstHit == npos ? begin : begin + firstHit, end); hit.at;
         hit = finder.find(hit.at + 1, end)) {
        const std::size_t at = std::size_t(hit.at - begin);
        if (atLeastUtf8Chars(text.substr(0, at), shape.anyBefore) &&
            atLeastUtf8Chars(text.substr(at + hit.size), shape.anyAfter))
            return true;
    }
    return false;
}

// The reference like on text, which with variants is folded first (into scratch).
bool likeMatches(const JetLikePattern &like, std::string_view text, const VariantTable *variants,
                 std::string &scratch)
{
    if (!variants)
        return like.matches(text);
    scratch.clear();
    variants->foldUtf8Into(text, scratch);
    return like.matches(scratch);
}

// The text a scan searches, at hand. A kept file's content is read a stretch of whole
// chunks at a time into a buffer, and each chunk checked there (store/chunkcheck.h); chunks
// passed over are checked before anything found counts. A stretch is read up to the longest
// match past its end, so a match across the border is found in one of them. Any other text
// is searched where it lies.
class TextAtHand {
public:
    // Hits are looked for before end (a match may run up to longestMatch past it).
    TextAtHand(const TextColumn &column, std::size_t longestMatch, std::size_t end)
        : m_column(column),
          m_check(column.check),
          m_base(column.bytes.data()),
          m_size(column.bytes.size()),
          m_end(std::min(end, m_size)),
          m_limit(std::min(m_size, m_end + longestMatch)),
          m_longestMatch(longestMatch),
          m_data(m_base),
          m_to(m_limit),
          m_stretchEnd(m_check ? 0 : m_limit)
    {}
    std::size_t end() const { return m_end; }
    std::size_t stretchEnd() const { return m_stretchEnd; }
    bool moreAfter() const { return m_to < m_limit; }

    // Has the stretch that holds pos at hand; false when the file failed its checks.
    bool reach(std::size_t pos)
    {
        if (pos < m_stretchEnd)
            return true;
        constexpr std::size_t kStretchChunks = 4;
        const std::size_t toChunkEnd = m_check->toChunkEnd(m_base + pos);
        m_stretchEnd = std::min(m_limit, pos + toChunkEnd + (kStretchChunks - 1) * kChunkBytes);
        // From the start of pos's chunk: a chunk read whole is checked on the spot, while one
        // cut at the stretch's start (the scan mostly resumes past a found row's end) was
        // read again, on one core, when the search settled.
        m_from = pos + toChunkEnd >= kChunkBytes ? pos + toChunkEnd - kChunkBytes : 0;
        m_to = std::min(m_limit, m_stretchEnd + m_longestMatch);
        m_buffer.resize(m_to - m_from);
        m_data = m_buffer.data();
        return m_check->read(m_base + m_from, m_to - m_from, m_buffer.data());
    }
    RunFinder::Match find(const RunFinder &finder, std::size_t pos) const
    {
        return finder.find(m_data + (pos - m_from), m_data + (m_to - m_from));
    }
    std::size_t positionOf(const char *at) const { return m_from + std::size_t(at - m_data); }

    // Row r's text: from the stretch at hand where it lies within it. (A kept file's ends
    // are not known good yet: ends that say nothing sensible give no text.)
    std::string_view row(std::size_t r)
    {
        const std::uint64_t begin = r == 0 ? 0 : m_column.ends[r - 1], end = m_column.ends[r];
        if (begin > end || end > m_size)
            return {};
        if (begin >= m_from && end <= m_to)
            return {m_data + (begin - m_from), std::size_t(end - begin)};
        if (!m_check)
            return {m_base + begin, std::size_t(end - begin)};
        m_rowCopy.resize(std::size_t(end - begin));
        if (!m_check->read(m_base + begin, m_rowCopy.size(), m_rowCopy.data()))
            return {};
        return m_rowCopy;
    }

private:
    const TextColumn &m_column;
    const ChunkCheck *m_check;
    const char *m_base;
    std::size_t m_size, m_end, m_limit, m_longestMatch;
    std::vector<char> m_buffer;
    std::string m_rowCopy;
    const char *m_data; // m_data[i - m_from] is byte i of the text, for i in [m_from, m_to)
    std::size_t m_from = 0, m_to, m_stretchEnd;
};

// The row a hit at `at` starts in: the first at or after `row` whose end lies beyond it.
// Hits mostly lie a few rows on, so the search gallops from the current row before it
// halves: a halving over all the rows left would miss the cache at every step.
std::size_t rowHolding(const std::uint64_t *ends, std::size_t count, std::size_t row, std::size_t at)
{
    if (ends[row] > at)
        return row;
    std::size_t below = row, above = row + 1, step = 1;
    while (above < count && ends[above] <= at) {
        below = above;
        step *= 2;
        above = below + step;
    }
    above = std::min(above, count);
    return std::size_t(std::upper_bound(ends + below + 1, ends + above, std::uint64_t(at)) - ends);
}

} // namespace

ContentScanner::ContentScanner(TextColumn rows, bool folded) : m_folded(rows, folded)
{
    // A sample of about a million bytes tells which bytes are rare well enough; a larger
    // one only lengthened every start on a large collection. It is taken as 256 stretches
    // spread over the text, each read straight through: a byte every so often instead
    // would miss the cache at every byte.
    const std::string_view bytes = m_folded.view().bytes;
    constexpr std::size_t kStretches = 256, kStretch = 4096;
    if (bytes.size() <= kStretches * kStretch) {
        for (const char c : bytes)
            ++m_byteCounts[static_cast<unsigned char>(c)];
        return;
    }
    const std::size_t step = bytes.size() / kStretches;
    const ChunkCheck *check = m_folded.view().check;
    char copy[kStretch];
    for (std::size_t k = 0; k < kStretches; ++k) {
        std::string_view stretch = bytes.substr(k * step, kStretch);
        // A kept file is read, not touched where it is mapped (store/chunkcheck.h); a failed
        // read only makes a poorer sample, and the search then reports the damage.
        if (check && check->read(stretch.data(), stretch.size(), copy))
            stretch = std::string_view(copy, stretch.size());
        for (const char c : stretch)
            ++m_byteCounts[static_cast<unsigned char>(c)];
    }
}

bool ContentScanner::settled() const
{
    const ChunkCheck *check = m_folded.view().check;
    return !check || check->settle();
}

void ContentScanner::scan(std::string_view needle, const VariantTable *variants, std::vector<std::uint32_t> &out,
                          const RowTest &test, const RowWatcher *watcher) const
{
    const TextColumn &column = m_folded.view();
    const std::size_t count = column.size();
    if (needle.empty()) {
        for (std::size_t r = 0; r < count; ++r)
            if (!column.null(r))
                out.push_back(std::uint32_t(r));
        return;
    }
    visit(column.bytes.size());
    const Part whole{0, column.bytes.size(), 0, count};
    // A large text is scanned in two halves at once, each on a core, checking its own
    // chunks. (Rows a test decides on take the one way: the test keeps its own scratch.)
    constexpr std::size_t kHalvesFrom = std::size_t(8) << 20;
    if (test || column.bytes.size() < kHalvesFrom || count < 2) {
        scanPart(whole, needle, variants, out, test, watcher, 0);
        return;
    }
    const std::uint64_t *ends = column.ends.data();
    // The halves meet at the end of the row holding the middle byte (ends not yet checked
    // may say anything: kept within the text, the scan stays in bounds, its answer unused).
    const std::size_t middleRow = rowHolding(ends, count, 0, column.bytes.size() / 2);
    if (middleRow + 1 >= count) {
        scanPart(whole, needle, variants, out, test, watcher, 0);
        return;
    }
    const std::size_t split = std::size_t(std::min<std::uint64_t>(ends[middleRow], column.bytes.size()));
    const Part first{0, split, 0, middleRow + 1}, second{split, column.bytes.size(), middleRow + 1, count};
    if (column.check)
        column.check->stopHelping(); // the halves check what they read, on both cores
    std::vector<std::uint32_t> secondRows;
    {
        std::jthread other;
        try {
            other = std::jthread([&] { scanPart(second, needle, variants, secondRows, test, watcher, 1); });
        } catch (const std::system_error &) { // no thread to be had: one after the other
        }
        scanPart(first, needle, variants, out, test, watcher, 0);
        if (!other.joinable())
            scanPart(second, needle, variants, secondRows, test, watcher, 1);
    }
    out.insert(out.end(), secondRows.begin(), secondRows.end());
}

void ContentScanner::scanPart(const Part &part, std::string_view needle, const VariantTable *variants,
                              std::vector<std::uint32_t> &out, const RowTest &test, const RowWatcher *watcher,
                              unsigned lane) const
{
    const TextColumn &column = m_folded.view();
    const std::uint64_t *ends = column.ends.data();
    const RunFinder finder(needle, m_byteCounts, variants);
    // A match is at most four bytes for each byte of the run (a form of a one-byte character
    // may take four); without variants, the run itself.
    TextAtHand text(column, variants ? 4 * needle.size() : needle.size(), part.end);
    std::size_t pos = part.begin, row = part.firstRow;
    while (pos < text.end() && row < part.endRow) {
        if (!text.reach(pos))
            break; // damaged: the search's answer is not used
        const RunFinder::Match hit = text.find(finder, pos);
        if (!hit.at) {
            if (!text.moreAfter())
                break;
            pos = text.stretchEnd();
            continue;
        }
        const std::size_t at = text.positionOf(hit.at);
        row = rowHolding(ends, part.endRow, row, at);
        if (row >= part.endRow)
            break;
        if (at + hit.size <= ends[row]) {
            bool keep = true;
            std::string_view rowText;
            if (test || watcher)
                rowText = text.row(row);
            const std::size_t firstHit = at - std::size_t(row == 0 ? 0 : ends[row - 1]);
            const std::size_t firstHitIn = firstHit <= rowText.size() ? firstHit : npos;
            if (test)
                keep = test(rowText, firstHitIn);
            if (keep) {
                out.push_back(std::uint32_t(row));
                if (watcher)
                    (*watcher)(lane, std::uint32_t(row), rowText, firstHitIn);
            }
            pos = ends[row];
            ++row;
        } else {
            pos = at + 1; // the hit runs into the next row
        }
    }
}

std::optional<std::vector<std::uint32_t>>
ContentScanner::rowsLike(std::string_view pattern, const VariantTable *variants, const RowWatcher *watcher) const
{
    JetLikePattern like;
    if (!like.compile(pattern, 0))
        return std::nullopt;
    const LikeShape shape = like.shape();
    std::vector<std::uint32_t> out;
    if (shape.plainContains) {
        scan(shape.longestRun, variants, out, {}, watcher);
        if (!settled())
            out.clear(); // a damaged kept file: nothing found counts
        return out;
    }
    // The run is only a necessary condition: the reference like decides, or for a run
    // with "_" around it the characters around each place of the run.
    const RunFinder finder(shape.longestRun, m_byteCounts, variants);
    std::string scratch;
    auto decide = [&](std::string_view text, std::size_t firstHit) {
        visit(text.size());
        return shape.runWithAnyOnes ? matchesRunWithAnyOnes(text, shape, finder, firstHit)
                                    : likeMatches(like, text, variants, scratch);
    };
    if (shape.longestRun.empty()) { // no run to look for: every non-null row is a candidate
        scan({}, variants, out);
        if (settled()) {
            const TextColumn &column = m_folded.view();
            std::erase_if(out, [&](std::uint32_t r) { return !decide(column.at(r), npos); });
        }
    } else { // each found row decided while the scan has it at hand
        scan(shape.longestRun, variants, out, decide, watcher);
    }
    if (!settled())
        out.clear(); // a damaged kept file: nothing found counts
    return out;
}

std::optional<std::vector<std::uint32_t>>
ContentScanner::rowsLikeAmong(std::string_view pattern, const std::vector<std::uint32_t> &candidates,
                              const VariantTable *variants) const
{
    JetLikePattern like;
    if (!like.compile(pattern, 0))
        return std::nullopt;
    if (!settled())
        return std::vector<std::uint32_t>();
    const LikeShape shape = like.shape();
    const std::string &run = shape.longestRun;
    const TextColumn &column = m_folded.view();
    const RunFinder finder(run, m_byteCounts, variants);
    std::string scratch;
    std::vector<std::uint32_t> out;
    for (std::uint32_t r : candidates) {
        if (column.null(r))
            continue;
        const std::string_view text = column.at(r);
        visit(text.size());
        if (!run.empty() && !finder.find(text.data(), text.data() + text.size()).at)
            continue;
        if (shape.plainContains || (shape.runWithAnyOnes ? matchesRunWithAnyOnes(text, shape, finder)
                                                         : likeMatches(like, text, variants, scratch)))
            out.push_back(r);
    }
    return out;
}

} // namespace morvessa
