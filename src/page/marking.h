#pragma once
// Marking the query terms in a record's Big5 page.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace morvessa {

// The largest page that is marked, counting the inserted tags; a larger source page is
// left as it is. The browser pane gives up on pages some hundred megabytes long.
inline constexpr qsizetype kMaxMarkedPageBytes = qsizetype(64) << 20;

// One pass over the page: every occurrence of term wrapped `times` deep.
struct MarkStep {
    QByteArray term; // Big5
    uint32_t times = 1;
};

// The passes that mark a page. Terms are taken in order, and a term given again is
// wrapped again around its marked occurrences (nested tags), a term repeated k times in
// a row making one pass k deep. Where that nesting would make the page grow past twice
// its size (at least 1 MB of tags), or make more than four passes per different term,
// each different term is marked once instead (`nested` false): the page looks the same.
// Terms that do not occur in the page make no pass; a term whose tags would take the
// page past kMaxMarkedPageBytes is left unmarked.
struct MarkPlan {
    std::vector<MarkStep> steps;
    bool nested = true;
};
MarkPlan planMarking(const QByteArray &big5Page, const QString &keywordText);

// Characters that marking takes as one: those with the same fold (simplified,
// traditional and variant forms in a variant search). Made once for a fold: it decodes
// every two-byte Big5 code.
class MarkingFold {
public:
    explicit MarkingFold(const std::function<char32_t(char32_t)> &fold);

    // The code that stands in the page for every code whose character folds alike.
    uint16_t keyOf(uint16_t code) const { return m_key[code]; }
    // term in those codes (ASCII as it is); empty when a character of it is in no Big5
    // page.
    QByteArray encode(const QString &term) const;

private:
    std::function<char32_t(char32_t)> m_fold;
    std::vector<uint16_t> m_key;                         // by code; 0 for no two-byte character
    std::vector<std::pair<char32_t, uint16_t>> m_byFold; // sorted
};

// Marks the terms of keywordText (split at every U+0020, empty terms kept) in a Big5 page
// as planMarking plans it: every occurrence wrapped in "<font color=red>" and "</font>".
// Terms are marked only in the page's text, never inside tags (those inserted for earlier
// terms included), comments, character references, or script, style, title and similar
// elements, and only on whole Big5 characters. Every other byte of the page stays as it is.
QByteArray markKeywords(const QByteArray &big5Page, const QString &keywordText);

// The same, where a term is found in every form that folds alike: "发热" marks 發熱.
// What is marked is what was found, in the form the page has.
MarkPlan planMarking(const QByteArray &big5Page, const QString &keywordText, const MarkingFold &fold);
QByteArray markKeywords(const QByteArray &big5Page, const QString &keywordText, const MarkingFold &fold);

} // namespace morvessa
