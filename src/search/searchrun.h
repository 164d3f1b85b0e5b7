#pragma once
// The data half of a search: run the statement, test for an empty result, run it again.
#include "engine/recordstore.h"
#include "search/queryanalysis.h"

#include <memory>

namespace morvessa {

struct SearchOutcome {
    QueryAnalysis analysis;
    std::shared_ptr<const ResultRows> rows; // null when nothing was found
    bool found() const { return rows && rows->count() > 0; }
};

// How terms meet the content: exactly (letter case and width aside), or with simplified,
// traditional and variant forms of a character taken as one (text/variants.h).
enum class Matching { Exact, Variants };

// Opens a fresh connection to collection with connString, runs analysis.statement, closes and reopens
// when records were found. A failure (the message names the file) changes nothing the
// caller holds.
Result<SearchOutcome> runSearch(const QString &connString, const QueryAnalysis &analysis,
                                Matching matching = Matching::Exact, const Collection &collection = Collection());

// The same on a connection already open. With Matching::Variants the statement's patterns
// are folded for variants and match the content as folded alike; rows and order are those
// the same statement gives on the content folded for variants (which is not made for it).
// The watcher sees rows as the search's scans find them (Recordset::open).
Result<SearchOutcome> runSearchOn(Connection &connection, const QueryAnalysis &analysis,
                                  Matching matching = Matching::Exact, const RowWatcher *watcher = nullptr);

// Loads the variant dictionaries on a thread of the pool, so that the first variant search
// finds them ready (a search meanwhile waits for them rather than loading again). Failures
// are left for that search to report.
void prepareVariantSearch();

// Reads the table of connString's collection on a thread of the pool, and has its kept
// copy checked, so that the first search finds it ready (a search meanwhile waits for it
// rather than reading again). Failures are left for that search to report.
void prepareSearch(const QString &connString, const Collection &collection);

} // namespace morvessa
