#pragma once
// The content folded to one form per variant class (text/variants.h), built once per
// loaded table and kept in memory while the table is. The fast path does not need it (it
// looks for every form in the content as it is, engine/variantfinder.h): this is what the
// plain path runs variant statements over, the reference the fast path must agree with.
#include "base/result.h"
#include "store/storetable.h"
#include "store/tablecache.h"

#include <cstdint>
#include <memory>

namespace morvessa {

// The table with the same rows, subject, htm and date, and its content variant-folded
// (a character at the same character position as in the content). Made on the first
// call for a table and then kept in tables; fails when the variant dictionaries cannot be
// read.
Result<std::shared_ptr<const StoreTable>> variantTableFor(TableCache &tables,
                                                          const std::shared_ptr<const StoreTable> &table);

class VariantTable;
// Folds a whole content column; row i of the result spans what row i of content does.
TextColumnBuilder foldVariantColumn(const TextColumn &content, const VariantTable &variants);

// How many content columns this process has folded so far.
std::uint64_t variantColumnsFolded();

} // namespace morvessa
