#include "engine/contentscanner.h"

#include "engine/likepattern.h"
#include "engine/needlefinder.h"
#include "engine/variantfinder.h"
#include "store/chunkcheck.h"
#include "text/utf8.h"
#include "text/variants.h"

#include <algorithm>

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
                          const RowTest &test) const
{
    const TextColumn &column = m_folded.view();
    const std::size_t count = column.size();
    if (needle.empty()) {
        for (std::size_t r = 0; r < count; ++r)
            if (!column.null(r))
                out.push_back(std::uint32_t(r));
        return;
    }
    const char *base = column.bytes.data();
    const std::size_t size = column.bytes.size();
    const std::uint64_t *ends = column.ends.data();
    const RunFinder finder(needle, m_byteCounts, variants);
    visit(size);
    // A kept file is read a stretch of whole chunks at a time into a buffer, and each chunk
    // checked there (store/chunkcheck.h); chunks passed over are checked before anything
    // found counts. A stretch is read up to the longest match past its end, so a match
    // across the border is found in one of them. Elsewhere the text is searched where it lies.
    const ChunkCheck *check = column.check;
    const std::size_t reach = variants ? 4 * needle.size() : needle.size();
    constexpr std::size_t kStretchChunks = 4;
    std::vector<char> buffer;
    const char *data = base; // data[i - from] is byte i of the text, for i in [from, to)
    std::size_t from = 0, to = size, stretchEnd = check ? 0 : size;
    std::size_t pos = 0, row = 0;
    std::string rowCopy;
    // The found row's text: from the stretch at hand where it lies within it. (A kept file's
    // ends are not known good yet: ends that say nothing sensible give no text.)
    auto rowText = [&](std::size_t r) -> std::string_view {
        const std::uint64_t begin = r == 0 ? 0 : ends[r - 1], end = ends[r];
        if (begin > end || end > size)
            return {};
        if (begin >= from && end <= to)
            return {data + (begin - from), std::size_t(end - begin)};
        rowCopy.resize(std::size_t(end - begin));
        if (check && !check->read(base + begin, rowCopy.size(), rowCopy.data()))
            return {};
        if (!check)
            return {base + begin, std::size_t(end - begin)};
        return rowCopy;
    };
    while (pos < size && row < count) {
        if (pos >= stretchEnd) {
            stretchEnd = std::min(size, pos + check->toChunkEnd(base + pos) + (kStretchChunks - 1) * kChunkBytes);
            from = pos;
            to = std::min(size, stretchEnd + reach);
            buffer.resize(to - from);
            if (!check->read(base + from, to - from, buffer.data()))
                break; // damaged: the search's answer is not used
            data = buffer.data();
        }
        const RunFinder::Match hit = finder.find(data + (pos - from), data + (to - from));
        if (!hit.at) {
            if (to == size)
                break;
            pos = stretchEnd;
            continue;
        }
        const std::size_t at = from + std::size_t(hit.at - data);
        // The row the hit starts in: the first whose end lies beyond it. Hits mostly lie a
        // few rows on, so the search gallops from the current row before it halves: a
        // halving over all the rows left would miss the cache at every step.
        if (ends[row] <= at) {
            std::size_t below = row, above = row + 1, step = 1;
            while (above < count && ends[above] <= at) {
                below = above;
                step *= 2;
                above = below + step;
            }
            above = std::min(above, count);
            row = std::size_t(std::upper_bound(ends + below + 1, ends + above, std::uint64_t(at)) - ends);
        }
        if (row >= count)
            break;
        if (at + hit.size <= ends[row]) {
            bool keep = true;
            if (test) {
                const std::string_view text = rowText(row);
                const std::size_t firstHit = at - std::size_t(row == 0 ? 0 : ends[row - 1]);
                keep = test(text, firstHit <= text.size() ? firstHit : npos);
            }
            if (keep)
                out.push_back(std::uint32_t(row));
            pos = ends[row];
            ++row;
        } else {
            pos = at + 1; // the hit runs into the next row
        }
    }
}

std::optional<std::vector<std::uint32_t>> ContentScanner::rowsLike(std::string_view pattern,
                                                                   const VariantTable *variants) const
{
    JetLikePattern like;
    if (!like.compile(pattern, 0))
        return std::nullopt;
    const LikeShape shape = like.shape();
    std::vector<std::uint32_t> out;
    if (shape.plainContains) {
        scan(shape.longestRun, variants, out);
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
        scan(shape.longestRun, variants, out, decide);
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
