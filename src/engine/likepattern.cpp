#include "engine/likepattern.h"

#include "text/utf8.h"

#include <algorithm>

namespace morvessa {

namespace {

constexpr size_t npos = std::string_view::npos;

// The characters of a set's body ("a-cx", without "[", "]" and a leading "!" or "^"),
// folded, sorted and merged, so that a character is looked up, not compared with every
// member of a long set.
std::vector<std::pair<char32_t, char32_t>> setRanges(std::string_view body)
{
    std::vector<std::pair<char32_t, char32_t>> ranges;
    for (size_t k = 0; k < body.size();) {
        char32_t lo;
        k += decodeUtf8(body, k, lo);
        char32_t hi = lo;
        if (k + 1 < body.size() && body[k] == '-') {
            k += 1;
            k += decodeUtf8(body, k, hi);
        }
        if (foldChar(lo) <= foldChar(hi)) // a reversed range holds nothing
            ranges.emplace_back(foldChar(lo), foldChar(hi));
    }
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<char32_t, char32_t>> merged;
    for (const auto &r : ranges) {
        if (!merged.empty() && r.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.push_back(r);
    }
    return merged;
}

} // namespace

Result<void> JetLikePattern::compile(std::string_view p, char32_t escape)
{
    m_elements.clear();
    m_ranges.clear();
    m_segments.clear();

    Segment seg;
    auto closeSegment = [&] {
        seg.count = m_elements.size() - seg.first;
        if (seg.literal)
            seg.finder = FoldedFinder(seg.text);
        m_segments.push_back(seg);
        seg = Segment();
        seg.first = m_elements.size();
    };
    auto addChar = [&](char32_t c) {
        const char32_t f = foldChar(c);
        Element e{Element::Char};
        e.c = f;
        if (seg.anchor == npos) {
            seg.anchor = m_elements.size() - seg.first;
            std::string one;
            appendUtf8(one, f);
            seg.anchorFinder = FoldedFinder(one);
        }
        m_elements.push_back(e);
        appendUtf8(seg.text, f);
    };

    for (size_t i = 0; i < p.size();) {
        char32_t c;
        i += decodeUtf8(p, i, c);
        if (escape && c == escape && i < p.size()) {
            i += decodeUtf8(p, i, c);
            addChar(c);
        } else if (c == U'%') {
            closeSegment();
        } else if (c == U'_') {
            m_elements.push_back(Element{Element::AnyOne});
            seg.literal = false;
        } else if (c == U'[') {
            const size_t close = p.find(']', i);
            if (close == npos) {
                return Failure{QStringLiteral("搜尋樣式「%1」無效：「[」沒有對應的「]」。")
                                   .arg(QString::fromUtf8(p.data(), static_cast<qsizetype>(p.size())))};
            }
            std::string_view body = p.substr(i, close - i);
            i = close + 1;
            Element e{Element::Set};
            size_t k = 0;
            if (!body.empty() && (body[0] == '!' || body[0] == '^')) {
                e.negated = true;
                k = 1;
            } else if (body.empty()) {
                continue; // "[]" stands for nothing
            }
            const std::vector<std::pair<char32_t, char32_t>> merged = setRanges(body.substr(k));
            if (!e.negated && merged.size() == 1 && merged[0].first == merged[0].second) {
                addChar(merged[0].first); // "[a]" is "a"
                continue;
            }
            e.firstRange = m_ranges.size();
            m_ranges.insert(m_ranges.end(), merged.begin(), merged.end());
            e.rangeCount = merged.size();
            m_elements.push_back(e);
            seg.literal = false;
        } else {
            addChar(c);
        }
    }
    closeSegment();
    return {};
}

bool JetLikePattern::elementMatches(const Element &e, char32_t f) const
{
    switch (e.kind) {
    case Element::Char:
        return f == e.c;
    case Element::AnyOne:
        return true;
    case Element::Set: {
        const auto begin = m_ranges.begin() + std::ptrdiff_t(e.firstRange);
        const auto end = begin + std::ptrdiff_t(e.rangeCount);
        // The first range that ends at or after f.
        const auto r =
            std::lower_bound(begin, end, f, [](const auto &range, char32_t v) { return range.second < v; });
        const bool in = r != end && r->first <= f;
        return in != e.negated;
    }
    }
    return false;
}

size_t JetLikePattern::matchAt(const Segment &s, std::string_view text, size_t pos) const
{
    if (s.literal)
        return s.finder.matchAt(text, pos);
    for (size_t k = s.first; k < s.first + s.count; ++k) {
        if (pos >= text.size())
            return npos;
        char32_t c;
        pos += decodeUtf8(text, pos, c);
        if (!elementMatches(m_elements[k], foldChar(c)))
            return npos;
    }
    return pos;
}

size_t JetLikePattern::findFrom(const Segment &s, std::string_view text, size_t pos, size_t &end) const
{
    if (s.literal)
        return s.finder.find(text, pos, end);
    if (s.anchor == npos) {
        // Only "_" and sets: try every place.
        for (;;) {
            end = matchAt(s, text, pos);
            if (end != npos)
                return pos;
            if (pos >= text.size())
                return npos;
            char32_t c;
            pos += decodeUtf8(text, pos, c);
        }
    }
    // Every match has the anchor character a fixed number of characters in; its
    // occurrences, in order, give the candidate places in order.
    for (size_t from = pos;;) {
        size_t anchorEnd;
        const size_t at = s.anchorFinder.find(text, from, anchorEnd);
        if (at == npos)
            return npos;
        size_t start = at;
        bool fits = true;
        for (size_t k = 0; k < s.anchor && fits; ++k) {
            fits = start > pos;
            if (fits)
                start = previousUtf8(text, start);
        }
        if (fits && start >= pos) {
            end = matchAt(s, text, start);
            if (end != npos)
                return start;
        }
        from = anchorEnd;
    }
}

bool JetLikePattern::matches(std::string_view text) const
{
    if (m_segments.size() == 1)
        return matchAt(m_segments[0], text, 0) == text.size();

    size_t pos = 0;
    const Segment &first = m_segments.front();
    if (first.count > 0) {
        pos = matchAt(first, text, 0);
        if (pos == npos)
            return false;
    }
    for (size_t k = 1; k + 1 < m_segments.size(); ++k) {
        const Segment &s = m_segments[k];
        if (s.count == 0)
            continue;
        size_t end;
        if (findFrom(s, text, pos, end) == npos)
            return false;
        pos = end;
    }
    const Segment &last = m_segments.back();
    if (last.count == 0)
        return true;
    // The last segment spans a fixed number of characters up to the end.
    size_t start = text.size();
    for (size_t k = 0; k < last.count; ++k) {
        if (start <= pos)
            return false;
        start = previousUtf8(text, start);
    }
    return start >= pos && matchAt(last, text, start) == text.size();
}

size_t JetLikePattern::find(std::string_view text, size_t from, size_t &end) const
{
    // The earliest match of the first segment starts the leftmost match; each later one
    // is taken as early as it comes, which makes the match from there the shortest.
    size_t start = npos;
    for (const Segment &s : m_segments) {
        if (s.count == 0)
            continue;
        size_t segmentEnd;
        const size_t at = findFrom(s, text, from, segmentEnd);
        if (at == npos)
            return npos;
        if (start == npos)
            start = at;
        from = segmentEnd;
    }
    end = from;
    return start;
}

LikeShape JetLikePattern::shape() const
{
    LikeShape shape;
    std::string run;
    auto endRun = [&] {
        if (run.size() > shape.longestRun.size())
            shape.longestRun = run;
        run.clear();
    };
    for (const Segment &s : m_segments) {
        for (size_t k = s.first; k < s.first + s.count; ++k) {
            if (m_elements[k].kind == Element::Char)
                appendUtf8(run, m_elements[k].c);
            else
                endRun();
        }
        endRun();
    }
    if (!wellFormedUtf8(shape.longestRun)) { // never from a query; leave it to the like itself
        shape.longestRun.clear();
        return shape;
    }
    // "%" ... "%" with at most one part between (empty parts, as in "%%a%", change nothing).
    const bool enclosed = m_segments.size() >= 2 && m_segments.front().count == 0 && m_segments.back().count == 0;
    const Segment *middle = nullptr;
    size_t parts = 0;
    for (size_t k = 1; k + 1 < m_segments.size(); ++k) {
        if (m_segments[k].count > 0) {
            middle = &m_segments[k];
            ++parts;
        }
    }
    if (!enclosed || parts > 1)
        return shape;
    if (!middle || middle->literal) {
        shape.plainContains = true;
        return shape;
    }
    // "_"s, plain characters, "_"s.
    size_t k = middle->first;
    const size_t end = middle->first + middle->count;
    while (k < end && m_elements[k].kind == Element::AnyOne)
        ++k;
    shape.anyBefore = k - middle->first;
    while (k < end && m_elements[k].kind == Element::Char)
        ++k;
    const size_t charsEnd = k;
    while (k < end && m_elements[k].kind == Element::AnyOne)
        ++k;
    if (k != end)
        return shape;
    shape.anyAfter = end - charsEnd;
    shape.runWithAnyOnes = true;
    return shape;
}

} // namespace morvessa
