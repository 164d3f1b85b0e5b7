#include "page/marking.h"

#include "page/big5alias.h"
#include "page/htmlruns.h"
#include "text/big5.h"

#include <QHash>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string.h> // memmem

namespace morvessa {

namespace {

const QByteArray kOpenTag = QByteArrayLiteral("<font color=red>");
const QByteArray kCloseTag = QByteArrayLiteral("</font>");
constexpr qsizetype kMaxStepsPerTerm = 4;
constexpr qsizetype kNestedGrowthFloor = qsizetype(1) << 20;

// The page cut into runs, and the bytes in which terms are looked for.
struct CutPage {
    const QByteArray &page;
    std::vector<PageRun> &runs;
    QByteArray key;
};

// How terms are looked for: the bytes of the page searched, and a term in those bytes
// (empty for a term that occurs in no page).
struct Lookup {
    std::function<QByteArray(const QByteArray &, const std::vector<PageRun> &)> key;
    std::function<QByteArray(const QString &)> encode;
};

Lookup exactLookup()
{
    return {aliasKey, [](const QString &term) {
                qsizetype unmappable = -1;
                const QByteArray bytes = big5Encode(term, &unmappable);
                return unmappable < 0 ? bytes : QByteArray();
            }};
}

// The page with each two-byte character of its text runs replaced by the code that stands
// for its fold; same length as the page.
QByteArray foldedKey(const MarkingFold &fold, const QByteArray &page, const std::vector<PageRun> &runs)
{
    return rekeyTextRuns(
        page, runs, [&fold](uint16_t code) { return fold.keyOf(code); },
        [](const unsigned char *, qsizetype) { return false; });
}

Lookup foldedLookup(const MarkingFold &fold)
{
    return {
        [&fold](const QByteArray &page, const std::vector<PageRun> &runs) { return foldedKey(fold, page, runs); },
        [&fold](const QString &term) { return fold.encode(term); }};
}

// The terms as looked for, in order. Empty terms and terms that occur in no Big5 page are
// left out.
std::vector<QByteArray> big5Terms(const QString &keywordText, const Lookup &lookup)
{
    std::vector<QByteArray> terms;
    QHash<QString, QByteArray> encoded; // a term given many times is encoded once
    for (const QString &term : keywordText.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        auto it = encoded.constFind(term);
        if (it == encoded.constEnd())
            it = encoded.insert(term, lookup.encode(term));
        if (!it->isEmpty())
            terms.push_back(*it);
    }
    return terms;
}

// Calls found(at) for each occurrence of term in a text run that starts on a character:
// left to right, without overlap.
template <typename Found>
void scanRun(const CutPage &cut, const PageRun &run, const QByteArray &term, Found found)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(cut.page.constData());
    const qsizetype n = cut.page.size();
    const char *key = cut.key.constData();
    const qsizetype termLength = term.size();
    const qsizetype end = run.pos + run.len;
    qsizetype search = run.pos;
    qsizetype charStart = run.pos; // text runs begin on a character
    while (end - search >= termLength) {
        const void *hit = memmem(key + search, size_t(end - search), term.constData(), size_t(termLength));
        if (!hit)
            return;
        const qsizetype at = static_cast<const char *>(hit) - key;
        while (charStart < at)
            charStart += big5CharLength(bytes, charStart, n);
        if (charStart != at) {
            search = at + 1;
            continue;
        }
        found(at);
        search = charStart = at + termLength; // a whole term ends on a character boundary
    }
}

// At least as many occurrences as one pass of term marks: its non-overlapping
// occurrences anywhere in the key, markup included. Later passes of the same term mark
// no more than the first, which already takes the most non-overlapping ones there are.
qsizetype countMarks(const QByteArray &key, const QByteArray &term)
{
    const char *k = key.constData();
    const qsizetype n = key.size();
    const qsizetype termLength = term.size();
    qsizetype count = 0;
    for (qsizetype from = 0; n - from >= termLength;) {
        const void *hit = memmem(k + from, size_t(n - from), term.constData(), size_t(termLength));
        if (!hit)
            break;
        ++count;
        from = (static_cast<const char *>(hit) - k) + termLength;
    }
    return count;
}

MarkPlan plan(const CutPage &cut, const QString &keywordText, const Lookup &lookup)
{
    const char *key = cut.key.constData();
    const qsizetype pageSize = cut.page.size();

    MarkPlan result;
    QHash<QByteArray, bool> present;  // per different term: occurs in the page at all
    std::vector<QByteArray> distinct; // those that occur, in order of first appearance
    std::vector<MarkStep> nested;
    for (const QByteArray &term : big5Terms(keywordText, lookup)) {
        auto it = present.find(term);
        if (it == present.end()) {
            it = present.insert(term, memmem(key, size_t(pageSize), term.constData(), size_t(term.size())));
            if (*it)
                distinct.push_back(term);
        }
        if (!*it)
            continue; // also lets the runs of a term on either side of it join
        if (!nested.empty() && nested.back().term == term)
            ++nested.back().times;
        else
            nested.push_back({term, 1});
    }

    // The tags a pass can add: first bounded by the page's length alone, counted in the
    // page only where that bound is too loose to decide.
    const qsizetype markBytes = kOpenTag.size() + kCloseTag.size();
    QHash<QByteArray, qsizetype> counted;
    auto growth = [&](const MarkStep &step, bool count) {
        qsizetype marks = pageSize / step.term.size();
        if (count) {
            auto it = counted.find(step.term);
            if (it == counted.end())
                it = counted.insert(step.term, countMarks(cut.key, step.term));
            marks = *it;
        }
        return marks * qsizetype(step.times) * markBytes;
    };
    auto grownSize = [&](const std::vector<MarkStep> &steps, bool count) {
        qsizetype size = pageSize;
        for (const MarkStep &step : steps)
            size += growth(step, count);
        return size;
    };

    const bool repeats = nested.size() > distinct.size() ||
                         std::any_of(nested.begin(), nested.end(), [](const MarkStep &s) { return s.times > 1; });
    if (!repeats) {
        result.steps = std::move(nested);
    } else {
        const qsizetype nestedLimit =
            std::min(kMaxMarkedPageBytes, pageSize + std::max(pageSize, kNestedGrowthFloor));
        if (qsizetype(nested.size()) <= kMaxStepsPerTerm * qsizetype(distinct.size()) &&
            (grownSize(nested, false) <= nestedLimit || grownSize(nested, true) <= nestedLimit)) {
            result.steps = std::move(nested);
            return result;
        }
        result.nested = false;
        for (const QByteArray &term : distinct)
            result.steps.push_back({term, 1});
    }
    if (grownSize(result.steps, false) <= kMaxMarkedPageBytes)
        return result;
    std::vector<MarkStep> fitting;
    qsizetype size = pageSize;
    for (const MarkStep &step : result.steps) {
        const qsizetype more = growth(step, true);
        if (size + more > kMaxMarkedPageBytes)
            continue;
        size += more;
        fitting.push_back(step);
    }
    result.steps = std::move(fitting);
    return result;
}

// Wraps the occurrences of one step's term. A marked occurrence becomes a text run of its
// own, so later terms see it but no match crosses it. The new runs go to `spare`, which
// then changes places with the runs.
void markStep(CutPage &cut, std::vector<PageRun> &spare, const MarkStep &step)
{
    const qsizetype termLength = step.term.size();
    spare.clear();
    spare.reserve(cut.runs.size() + 1024);
    for (const PageRun &run : cut.runs) {
        if (!run.text || run.len < termLength) {
            spare.push_back(run);
            continue;
        }
        const size_t before = spare.size();
        qsizetype from = run.pos;
        uint32_t opens = run.opens; // the run's own marks open before its first piece
        scanRun(cut, run, step.term, [&](qsizetype at) {
            if (at > from) {
                spare.emplace_back(from, at - from, true, opens, 0);
                opens = 0;
            }
            spare.emplace_back(at, termLength, true, opens + step.times, step.times);
            opens = 0;
            from = at + termLength;
        });
        if (spare.size() == before) {
            spare.push_back(run);
            continue;
        }
        if (run.pos + run.len > from)
            spare.emplace_back(from, run.pos + run.len - from, true, 0, run.closes);
        else
            spare.back().closes += run.closes; // ... and close after its last one
    }
    cut.runs.swap(spare);
}

QByteArray join(const CutPage &cut)
{
    qsizetype size = 0;
    for (const PageRun &run : cut.runs)
        size += run.len + qsizetype(run.opens) * kOpenTag.size() + qsizetype(run.closes) * kCloseTag.size();
    QByteArray out(size, Qt::Uninitialized);
    char *to = out.data();
    auto put = [&to](const char *from, qsizetype len) {
        std::memcpy(to, from, size_t(len));
        to += len;
    };
    for (const PageRun &run : cut.runs) {
        for (uint32_t i = 0; i < run.opens; ++i)
            put(kOpenTag.constData(), kOpenTag.size());
        put(cut.page.constData() + run.pos, run.len);
        for (uint32_t i = 0; i < run.closes; ++i)
            put(kCloseTag.constData(), kCloseTag.size());
    }
    return out;
}

bool markable(const QByteArray &page, const QString &keywordText)
{
    return !keywordText.isEmpty() && !page.isEmpty() && page.size() <= kMaxMarkedPageBytes;
}

MarkPlan planWith(const QByteArray &big5Page, const QString &keywordText, const Lookup &lookup)
{
    if (!markable(big5Page, keywordText))
        return {};
    std::vector<PageRun> runs;
    cutIntoRuns(big5Page, runs);
    const CutPage cut{big5Page, runs, lookup.key(big5Page, runs)};
    return plan(cut, keywordText, lookup);
}

QByteArray markWith(const QByteArray &big5Page, const QString &keywordText, const Lookup &lookup)
{
    if (!markable(big5Page, keywordText))
        return big5Page;
    // Kept from call to call: a long page needs a large list, and taking fresh memory
    // for it on every row change costs more than the marking itself.
    thread_local std::vector<PageRun> runs, spare;
    cutIntoRuns(big5Page, runs);
    CutPage cut{big5Page, runs, lookup.key(big5Page, runs)};
    const MarkPlan marking = plan(cut, keywordText, lookup);
    for (const MarkStep &step : marking.steps)
        markStep(cut, spare, step);
    QByteArray out = marking.steps.empty() ? big5Page : join(cut);

    constexpr size_t kKeptRuns = 1 << 20;
    if (runs.capacity() > kKeptRuns) {
        std::vector<PageRun>().swap(runs);
        std::vector<PageRun>().swap(spare);
    }
    return out;
}

} // namespace

MarkingFold::MarkingFold(const std::function<char32_t(char32_t)> &fold) : m_fold(fold), m_key(0x10000, 0)
{
    std::vector<std::pair<char32_t, uint16_t>> byFold;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail > 0x7E && trail < 0xA1)
                continue;
            const char bytes[] = {char(lead), char(trail)};
            const QString decoded = big5Decode(QByteArray(bytes, 2));
            const QList<uint> chars = decoded.toUcs4();
            if (chars.size() != 1 || chars[0] == 0xFFFD)
                continue; // no character of its own
            byFold.emplace_back(fold(char32_t(chars[0])), uint16_t(lead << 8 | trail));
        }
    }
    // The lowest code of each fold stands for all of them.
    std::stable_sort(byFold.begin(), byFold.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (size_t i = 0; i < byFold.size();) {
        size_t j = i;
        while (j < byFold.size() && byFold[j].first == byFold[i].first)
            m_key[byFold[j++].second] = byFold[i].second;
        m_byFold.push_back(byFold[i]);
        i = j;
    }
}

QByteArray MarkingFold::encode(const QString &term) const
{
    QByteArray out;
    for (const uint c : term.toUcs4()) {
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        const char32_t folded = m_fold(char32_t(c));
        const auto it = std::lower_bound(m_byFold.begin(), m_byFold.end(), folded,
                                         [](const auto &entry, char32_t f) { return entry.first < f; });
        if (it == m_byFold.end() || it->first != folded)
            return {};
        out += char(it->second >> 8);
        out += char(it->second & 0xFF);
    }
    return out;
}

MarkPlan planMarking(const QByteArray &big5Page, const QString &keywordText)
{
    return planWith(big5Page, keywordText, exactLookup());
}

QByteArray markKeywords(const QByteArray &big5Page, const QString &keywordText)
{
    return markWith(big5Page, keywordText, exactLookup());
}

MarkPlan planMarking(const QByteArray &big5Page, const QString &keywordText, const MarkingFold &fold)
{
    return planWith(big5Page, keywordText, foldedLookup(fold));
}

QByteArray markKeywords(const QByteArray &big5Page, const QString &keywordText, const MarkingFold &fold)
{
    return markWith(big5Page, keywordText, foldedLookup(fold));
}

} // namespace morvessa
