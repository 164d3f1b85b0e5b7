#pragma once
// Marking the query terms in a record's Big5 page.
#include <QByteArray>
#include <QString>

#include <cstdint>
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

// Marks the terms of keywordText (split at every U+0020, empty terms kept) in a Big5 page
// as planMarking plans it: every occurrence wrapped in "<font color=red>" and "</font>".
// Terms are marked only in the page's text, never inside tags (those inserted for earlier
// terms included), comments, character references, or script, style, title and similar
// elements, and only on whole Big5 characters. Every other byte of the page stays as it is.
QByteArray markKeywords(const QByteArray &big5Page, const QString &keywordText);

} // namespace morvessa
