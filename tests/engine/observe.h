#pragma once
// Everything a search shows the user, gathered for comparison: the rows in order, the
// not-found message, or the error.
#include "engine/recordstore.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"

#include <QString>
#include <QStringList>

namespace equality {

struct Observed {
    bool failed = false;
    QString error;
    QString notFound;  // the message when nothing was found
    QStringList cells; // subject, htm, subject, htm, ... in result order

    bool operator==(const Observed &) const = default;

    QString summary() const
    {
        if (failed)
            return QStringLiteral("error: ") + error;
        if (!notFound.isEmpty())
            return QStringLiteral("not found: ") + notFound;
        return QString::number(cells.size() / 2) + QStringLiteral(" rows, first ") +
               cells.mid(0, 2).join(QLatin1Char('|'));
    }
};

inline Observed observe(const QString &connString, const QString &query,
                        const morvessa::Collection &collection = morvessa::Collection())
{
    Observed o;
    const morvessa::QueryAnalysis a = morvessa::analyseQuery(query);
    const morvessa::Result<morvessa::SearchOutcome> out =
        morvessa::runSearch(connString, a, morvessa::Matching::Exact, collection);
    if (!out) {
        o.failed = true;
        o.error = out.message();
    } else if (!out->found()) {
        o.notFound = morvessa::notFoundMessage(a.messageText);
    } else {
        for (int r = 0; r < out->rows->count(); ++r)
            o.cells << out->rows->text(r, 0) << out->rows->text(r, 1);
    }
    return o;
}

// The same search on the fast path and on the plain path, over collection's tables.
struct Comparison {
    Observed fast, plain;
    bool same() const { return fast == plain; }
};

inline Comparison compareSearch(const QString &connString, const QString &query, morvessa::Collection collection)
{
    Comparison c;
    collection.plainSearch = true;
    c.plain = observe(connString, query, collection);
    collection.plainSearch = false;
    c.fast = observe(connString, query, collection);
    return c;
}

} // namespace equality
