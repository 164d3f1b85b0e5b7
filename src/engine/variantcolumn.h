#pragma once
// The content folded to one form per variant class (text/variants.h), built once per
// loaded table and kept while the table is: the column a variant search scans. Where the
// table comes from a kept column file, the folded content is kept beside it
// (store/keptcolumns.h) and read back on later starts instead of folded again.
#include "base/result.h"
#include "store/storetable.h"

#include <cstdint>
#include <memory>

namespace morvessa {

// The table with the same rows, subject, htm and date, and its content variant-folded
// (a character at the same character position as in the content). Made on the first
// call for a table and then shared; fails when the variant dictionaries cannot be read.
Result<std::shared_ptr<const StoreTable>> variantTableFor(const std::shared_ptr<const StoreTable> &table);

class VariantTable;
// Folds a whole content column; row i of the result spans what row i of content does.
TextColumnBuilder foldVariantColumn(const TextColumn &content, const VariantTable &variants);

// How the folded columns of this process were come by so far: folded here, or read back
// from a kept copy.
struct VariantColumnCounts {
    std::uint64_t folded = 0;
    std::uint64_t readBack = 0;
};
VariantColumnCounts variantColumnCounts();

} // namespace morvessa
