#include "engine/scannercache.h"

namespace morvessa {

std::shared_ptr<const ContentScanner> scannerFor(TableCache &tables, const std::shared_ptr<const void> &owner,
                                                 TextColumn rows, bool folded)
{
    return tables.madeFromTables().get<ContentScanner>(
        owner, [&] { return std::make_shared<const ContentScanner>(rows, folded); });
}

} // namespace morvessa
