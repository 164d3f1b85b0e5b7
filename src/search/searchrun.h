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

// Opens a fresh connection with connString, runs analysis.sqlText, closes and reopens
// when records were found. Throws DbError; a failure changes nothing the caller holds.
SearchOutcome runSearch(const QString &connString, const QueryAnalysis &analysis);

} // namespace morvessa
