#pragma once
// The content scanner of a loaded table, made on first use and kept while the table lives.
#include "engine/contentscanner.h"
#include "store/tablecache.h"

#include <memory>

namespace morvessa {

// The scanner kept in tables for owner; rows must stay valid as long as owner does.
std::shared_ptr<const ContentScanner> scannerFor(TableCache &tables, const std::shared_ptr<const void> &owner,
                                                 TextColumn rows, bool folded);

} // namespace morvessa
