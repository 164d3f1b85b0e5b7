#pragma once
// The fast path of the search engine: a search statement answered straight from the
// table's columns. Each "content like" term is a search of the content scanner, the date
// order is the table's precomputed one. Results are the same as on the plain path
// (SQLite running the statement's text with the reference like); only the time differs.
#include "engine/contentscanner.h"
#include "engine/searchstatement.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace morvessa {

// Row indexes in result order, or nullopt when the plain path must run the statement (an
// invalid pattern: the engine reports it). newestFirst is the table's date order (newest
// first, no date last, ties in file order). The cost grows with the distinct patterns,
// and for every term after the first of an AND statement with the rows still in. With
// variants the statement's patterns are folded for variants and find every form
// (ContentScanner::rowsLike). A watcher sees, as the scans find them, rows that include
// every row of the result (and perhaps others, a row perhaps twice); none when the
// statement needs no scan.
std::optional<std::vector<std::uint32_t>> runFast(const SearchStatement &statement, const ContentScanner &scanner,
                                                  std::span<const std::uint32_t> newestFirst,
                                                  const VariantTable *variants = nullptr,
                                                  const RowWatcher *watcher = nullptr);

// False when a pattern of the statement is not a valid like pattern.
bool patternsValid(const SearchStatement &statement);

} // namespace morvessa
