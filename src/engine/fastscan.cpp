#include "engine/fastscan.h"

#include "engine/jetdialect.h"
#include "text/textfold.h"
#include "text/utf8.h"

#include <algorithm>
#include <immintrin.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace morvessa {

namespace {

std::atomic<bool> &plainFlag()
{
    static std::atomic<bool> flag = [] {
        const char *v = std::getenv("MORVESSA_PLAIN_SEARCH");
        return v && std::strcmp(v, "1") == 0;
    }();
    return flag;
}

// The shape of a pattern: its longest run of plain characters (folded), and whether the
// pattern is just "%" + that run + "%".
struct PatternShape {
    std::string longestRun;
    bool plainContains = false;
    // The pattern is "%", anyBefore "_", the run (perhaps empty), anyAfter "_", "%" (a
    // wildcard term such as 明_): decided here without the general matcher.
    bool runWithAnyOnes = false;
    size_t anyBefore = 0, anyAfter = 0;
};

PatternShape shapeOf(std::string_view p)
{
    PatternShape shape;
    std::string run;
    auto endRun = [&] {
        if (run.size() > shape.longestRun.size())
            shape.longestRun = run;
        run.clear();
    };
    bool special = false;
    for (size_t i = 0; i < p.size();) {
        const char ch = p[i];
        if (ch == '%' || ch == '_') {
            endRun();
            special = special || ch == '_' || (i != 0 && i + 1 != p.size());
            ++i;
        } else if (ch == '[') {
            endRun();
            special = true;
            const size_t close = p.find(']', i);
            i = close == std::string_view::npos ? p.size() : close + 1;
        } else {
            char32_t c;
            const int len = decodeUtf8(p, i, c);
            appendUtf8(run, c >= kInvalidUtf8 ? c : foldChar(c));
            i += size_t(len);
        }
    }
    endRun();
    const bool enclosed = p.size() >= 2 && p.front() == '%' && p.back() == '%';
    shape.plainContains = !special && enclosed;
    if (enclosed && !shape.plainContains) {
        const std::string_view inner = p.substr(1, p.size() - 2);
        size_t a = 0, b = 0;
        while (a < inner.size() && inner[a] == '_')
            ++a;
        while (b < inner.size() - a && inner[inner.size() - 1 - b] == '_')
            ++b;
        const std::string_view middle = inner.substr(a, inner.size() - a - b);
        if (middle.find_first_of("%_[") == std::string_view::npos) {
            shape.runWithAnyOnes = true;
            shape.anyBefore = a;
            shape.anyAfter = b;
        }
    }
    if (!wellFormedUtf8(shape.longestRun)) { // never from a query; leave it to the reference like
        shape.longestRun.clear();
        shape.plainContains = false;
        shape.runWithAnyOnes = false;
    }
    return shape;
}

bool startsWith(std::string_view s, size_t pos, std::string_view prefix)
{
    return s.size() - pos >= prefix.size() && s.compare(pos, prefix.size(), prefix) == 0;
}

// Reads the string literal whose opening apostrophe ends before pos; an apostrophe
// written as "'&chr(39)&'" stays part of it. Leaves pos after the closing apostrophe.
std::optional<std::string> readLiteral(std::string_view sql, size_t &pos)
{
    static constexpr std::string_view kEscaped = "'&chr(39)&'";
    std::string out;
    for (;;) {
        const size_t q = sql.find('\'', pos);
        if (q == std::string_view::npos)
            return std::nullopt;
        out.append(sql.substr(pos, q - pos));
        if (startsWith(sql, q, kEscaped)) {
            out += '\'';
            pos = q + kEscaped.size();
            continue;
        }
        pos = q + 1;
        return out;
    }
}

std::vector<std::uint32_t> intersect(const std::vector<std::uint32_t> &a, const std::vector<std::uint32_t> &b)
{
    std::vector<std::uint32_t> out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

} // namespace

NeedleFinder::NeedleFinder(std::string_view needle, const std::uint64_t *byteCounts) : m_needle(needle)
{
    constexpr size_t npos = std::string_view::npos;
    if (needle.size() < 2)
        return;
    // The rarest byte, then the rarest other one; equal bytes would tell nothing new.
    auto rarity = [&](size_t k) { return byteCounts[static_cast<unsigned char>(needle[k])]; };
    size_t a = 0;
    for (size_t k = 1; k < needle.size(); ++k)
        if (rarity(k) < rarity(a))
            a = k;
    size_t b = npos;
    for (size_t k = 0; k < needle.size(); ++k)
        if (needle[k] != needle[a] && (b == npos || rarity(k) < rarity(b)))
            b = k;
    if (b == npos) // every byte the same
        b = a == 0 ? needle.size() - 1 : 0;
    m_first = std::min(a, b);
    m_second = std::max(a, b);
}

namespace {

__attribute__((target("avx2"))) const char *findAvx2(const char *p, const char *end, const std::string &needle,
                                                     size_t first, size_t second)
{
    const size_t n = needle.size();
    const __m256i a = _mm256_set1_epi8(needle[first]);
    const __m256i b = _mm256_set1_epi8(needle[second]);
    for (; end - p >= std::ptrdiff_t(n + 31); p += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + first));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + second));
        auto mask = std::uint32_t(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(x, a), _mm256_cmpeq_epi8(y, b))));
        while (mask) {
            const int bit = __builtin_ctz(mask);
            if (std::memcmp(p + bit, needle.data(), n) == 0)
                return p + bit;
            mask &= mask - 1;
        }
    }
    // The last few places, one by one (memmem's setup would cost more here).
    for (; end - p >= std::ptrdiff_t(n); ++p)
        if (p[first] == needle[first] && p[second] == needle[second] && std::memcmp(p, needle.data(), n) == 0)
            return p;
    return nullptr;
}

} // namespace

const char *NeedleFinder::find(const char *from, const char *end) const
{
    if (from >= end || size_t(end - from) < m_needle.size())
        return nullptr;
    if (m_needle.size() == 1)
        return static_cast<const char *>(std::memchr(from, m_needle[0], size_t(end - from)));
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return findAvx2(from, end, m_needle, m_first, m_second);
    return static_cast<const char *>(memmem(from, size_t(end - from), m_needle.data(), m_needle.size()));
}

namespace {

// text (folded) holds the run (found with finder) with at least anyBefore characters
// before it and anyAfter after it.
// firstHit: where the run is first found in text, when a scan has told (else npos).
bool matchesRunWithAnyOnes(std::string_view text, const PatternShape &shape, const NeedleFinder &finder,
                           size_t firstHit = std::string_view::npos)
{
    if (shape.longestRun.empty()) // only "_": enough characters
        return atLeastUtf8Chars(text, shape.anyBefore + shape.anyAfter);
    const char *begin = text.data();
    const char *end = begin + text.size();
    const char *hit = firstHit == std::string_view::npos ? finder.find(begin, end) : begin + firstHit;
    for (; hit; hit = finder.find(hit + 1, end)) {
        const size_t at = size_t(hit - begin);
        if (atLeastUtf8Chars(text.substr(0, at), shape.anyBefore) &&
            atLeastUtf8Chars(text.substr(at + shape.longestRun.size()), shape.anyAfter))
            return true;
    }
    return false;
}

} // namespace

void setPlainSearch(bool on) { plainFlag() = on; }
bool plainSearch() { return plainFlag(); }

ContentScanner::ContentScanner(ContentRows rows, bool folded) : m_rows(rows)
{
    if (folded) {
        m_folded = rows.bytes;
        m_foldedEnds = rows.ends;
    } else {
        m_ownFolded.reserve(rows.bytes.size() + rows.bytes.size() / 16);
        m_ownEnds.reserve(rows.count);
        for (size_t r = 0; r < rows.count; ++r) {
            if (!rows.isNull[r])
                appendFolded(m_ownFolded, rows.at(r));
            m_ownEnds.push_back(m_ownFolded.size());
        }
        m_folded = m_ownFolded;
        m_foldedEnds = m_ownEnds.data();
    }
    for (size_t k = 0; k < m_folded.size(); k += 7)
        ++m_byteCounts[static_cast<unsigned char>(m_folded[k])];
}

void ContentScanner::scan(std::string_view needle, std::vector<std::uint32_t> &out,
                          std::vector<std::uint32_t> *firstHits) const
{
    const size_t count = m_rows.count;
    if (needle.empty()) {
        for (size_t r = 0; r < count; ++r)
            if (!m_rows.isNull[r])
                out.push_back(std::uint32_t(r));
        return;
    }
    const char *base = m_folded.data();
    const size_t size = m_folded.size();
    const std::uint64_t *ends = m_foldedEnds;
    const NeedleFinder finder(needle, m_byteCounts);
    size_t pos = 0, row = 0;
    while (pos < size && row < count) {
        const char *hit = finder.find(base + pos, base + size);
        if (!hit)
            break;
        const size_t at = size_t(hit - base);
        // The row the hit starts in: the first whose end lies beyond it.
        if (ends[row] <= at)
            row = size_t(std::upper_bound(ends + row, ends + count, std::uint64_t(at)) - ends);
        if (row >= count)
            break;
        if (at + needle.size() <= ends[row]) {
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

std::optional<std::vector<std::uint32_t>> ContentScanner::rowsLike(std::string_view pattern) const
{
    JetLikePattern like;
    if (!like.compile(pattern, 0, nullptr))
        return std::nullopt;
    const PatternShape shape = shapeOf(pattern);
    std::vector<std::uint32_t> candidates, firstHits;
    const bool withHits = shape.runWithAnyOnes && !shape.longestRun.empty();
    scan(shape.longestRun, candidates, withHits ? &firstHits : nullptr);
    if (shape.plainContains)
        return candidates;
    // The run is only a necessary condition: the reference like decides, or for a run
    // with "_" around it the characters around each place of the run.
    const NeedleFinder finder(shape.longestRun, m_byteCounts);
    std::vector<std::uint32_t> out;
    for (size_t k = 0; k < candidates.size(); ++k) {
        const std::uint32_t r = candidates[k];
        if (shape.runWithAnyOnes ? matchesRunWithAnyOnes(foldedAt(r), shape, finder,
                                                         withHits ? firstHits[k] : std::string_view::npos)
                                 : like.matches(m_rows.at(r)))
            out.push_back(r);
    }
    return out;
}

std::optional<std::vector<std::uint32_t>>
ContentScanner::rowsLikeAmong(std::string_view pattern, const std::vector<std::uint32_t> &candidates) const
{
    JetLikePattern like;
    if (!like.compile(pattern, 0, nullptr))
        return std::nullopt;
    const PatternShape shape = shapeOf(pattern);
    const std::string &run = shape.longestRun;
    const NeedleFinder finder(run, m_byteCounts);
    std::vector<std::uint32_t> out;
    for (std::uint32_t r : candidates) {
        if (m_rows.isNull[r])
            continue;
        const std::string_view folded = foldedAt(r);
        if (!run.empty() && !finder.find(folded.data(), folded.data() + folded.size()))
            continue;
        if (shape.plainContains ||
            (shape.runWithAnyOnes ? matchesRunWithAnyOnes(folded, shape, finder) : like.matches(m_rows.at(r))))
            out.push_back(r);
    }
    return out;
}

std::optional<SearchStatement> parseSearchStatement(std::string_view sql)
{
    static constexpr std::string_view kListAll = "select subject,htm from  maindata order by date desc";
    static constexpr std::string_view kAnd = "select subject,htm from  maindata where 1=1";
    static constexpr std::string_view kAndTerm = " and content like '";
    static constexpr std::string_view kAndEnd = "order by [date] desc ";
    static constexpr std::string_view kOr = "select subject,htm from  maindata where 1=2";
    static constexpr std::string_view kOrTerm = "  or content like '";

    SearchStatement st;
    if (sql == kListAll)
        return st;
    const bool all = startsWith(sql, 0, kAnd);
    if (!all && !startsWith(sql, 0, kOr))
        return std::nullopt;
    st.kind = all ? SearchStatement::AllTerms : SearchStatement::AnyTerm;
    const std::string_view term = all ? kAndTerm : kOrTerm;
    size_t pos = all ? kAnd.size() : kOr.size();
    while (startsWith(sql, pos, term)) {
        pos += term.size();
        std::optional<std::string> literal = readLiteral(sql, pos);
        if (!literal || !startsWith(sql, pos, " "))
            return std::nullopt;
        ++pos;
        st.patterns.push_back(std::move(*literal));
    }
    if (all) {
        // Without terms one blank stands between "1=1" and the order clause.
        if (st.patterns.empty() && startsWith(sql, pos, " "))
            ++pos;
        if (sql.substr(pos) != kAndEnd)
            return std::nullopt;
    } else if (pos != sql.size()) {
        return std::nullopt;
    }
    return st;
}

std::optional<std::vector<std::uint32_t>> runFast(std::string_view jetSql, const ContentScanner &scanner,
                                                  std::span<const std::uint32_t> newestFirst)
{
    const std::optional<SearchStatement> st = parseSearchStatement(jetSql);
    if (!st || newestFirst.size() != scanner.rowCount())
        return std::nullopt;
    // Every pattern must be valid before anything runs: the plain path reports an
    // invalid one exactly as the engine does.
    for (const std::string &p : st->patterns) {
        JetLikePattern like;
        if (!like.compile(p, 0, nullptr))
            return std::nullopt;
    }
    if (st->kind == SearchStatement::AnyTerm) {
        std::vector<std::vector<std::uint32_t>> sets;
        for (const std::string &p : st->patterns)
            sets.push_back(*scanner.rowsLike(p));
        std::vector<std::uint32_t> out;
        for (const auto &s : sets) {
            std::vector<std::uint32_t> merged;
            std::set_union(out.begin(), out.end(), s.begin(), s.end(), std::back_inserter(merged));
            out = std::move(merged);
        }
        return out; // file order
    }
    if (st->patterns.empty())
        return std::vector<std::uint32_t>(newestFirst.begin(), newestFirst.end());
    // One scan for the term with the longest plain run; the other terms are checked on
    // its rows alone when they are few, or scanned too when they are many.
    std::vector<std::string> patterns = st->patterns;
    std::stable_sort(patterns.begin(), patterns.end(), [](const std::string &a, const std::string &b) {
        return shapeOf(a).longestRun.size() > shapeOf(b).longestRun.size();
    });
    std::vector<std::uint32_t> hits = *scanner.rowsLike(patterns.front());
    for (size_t k = 1; k < patterns.size() && !hits.empty(); ++k) {
        if (hits.size() < scanner.rowCount() / 16)
            hits = *scanner.rowsLikeAmong(patterns[k], hits);
        else
            hits = intersect(hits, *scanner.rowsLike(patterns[k]));
    }
    std::vector<std::uint8_t> member(scanner.rowCount(), 0);
    for (std::uint32_t r : hits)
        member[r] = 1;
    std::vector<std::uint32_t> out;
    out.reserve(hits.size());
    for (std::uint32_t r : newestFirst)
        if (member[r])
            out.push_back(r);
    return out;
}

std::shared_ptr<const ContentScanner> scannerFor(const std::shared_ptr<const void> &owner, ContentRows rows,
                                                  bool folded)
{
    struct Entry {
        std::weak_ptr<const void> owner;
        const void *address;
        std::shared_ptr<const ContentScanner> scanner;
    };
    static std::mutex mutex;
    static std::vector<Entry> entries;
    const std::lock_guard lock(mutex);
    std::erase_if(entries, [](const Entry &e) { return e.owner.expired(); });
    for (const Entry &e : entries)
        if (e.address == owner.get())
            return e.scanner;
    auto scanner = std::make_shared<const ContentScanner>(rows, folded);
    entries.push_back({owner, owner.get(), scanner});
    return scanner;
}

} // namespace morvessa
