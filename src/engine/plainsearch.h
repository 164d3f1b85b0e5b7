#pragma once
// The plain path of the search engine: every statement runs on SQLite with the
// reference like alone, nothing is answered from the columns and no result is reused.
// It is what the fast path is checked against. On when MORVESSA_PLAIN_SEARCH=1 is set.

namespace morvessa {

void setPlainSearch(bool on);
bool plainSearch();

} // namespace morvessa
