#include "engine/contentscanner.h"

#include "engine/likepattern.h"
#include "engine/needlefinder.h"
#include "engine/variantfinder.h"
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
    for (std::size_t k = 0; k < kStretches; ++k)
        for (const char c : bytes.substr(k * step, kStretch))
            ++m_byteCounts[static_cast<unsigned char>(c)];
}

void ContentScanner::scan(std::string_view needle, const VariantTable *variants, std::vector<std::uint32_t> &out,
                          std::vector<std::uint32_t> *firstHits) const
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
    std::size_t pos = 0, row = 0;
    while (pos < size && row < count) {
        const RunFinder::Match hit = finder.find(base + pos, base + size);
        if (!hit.at)
            break;
        const std::size_t at = std::size_t(hit.at - base);
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
            out.push_back(std::uint32_t(row));
            if (firstHits)
                firstHits->push_back(std::uint32_t(at - (row == 0 ? 0 : ends[row - 1])));
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
    std::vector<std::uint32_t> candidates, firstHits;
    const bool withHits = shape.runWithAnyOnes && !shape.longestRun.empty();
    scan(shape.longestRun, variants, candidates, withHits ? &firstHits : nullptr);
    if (shape.plainContains)
        return candidates;
    // The run is only a necessary condition: the reference like decides, or for a run
    // with "_" around it the characters around each place of the run.
    const TextColumn &column = m_folded.view();
    const RunFinder finder(shape.longestRun, m_byteCounts, variants);
    std::string scratch;
    std::vector<std::uint32_t> out;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        const std::uint32_t r = candidates[k];
        const std::string_view text = column.at(r);
        visit(text.size());
        if (shape.runWithAnyOnes ? matchesRunWithAnyOnes(text, shape, finder, withHits ? firstHits[k] : npos)
                                 : likeMatches(like, text, variants, scratch))
            out.push_back(r);
    }
    return out;
}

std::optional<std::vector<std::uint32_t>>
ContentScanner::rowsLikeAmong(std::string_view pattern, const std::vector<std::uint32_t> &candidates,
                              const VariantTable *variants) const
{
    JetLikePattern like;
    if (!like.compile(pattern, 0))
        return std::nullopt;
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
