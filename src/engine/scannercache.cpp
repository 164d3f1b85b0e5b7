#include "engine/scannercache.h"

#include "engine/ownercache.h"

namespace morvessa {

std::shared_ptr<const ContentScanner> scannerFor(const std::shared_ptr<const void> &owner, TextColumn rows,
                                                 bool folded)
{
    static OwnerCache<ContentScanner> cache;
    return cache.get(owner, [&] { return std::make_shared<const ContentScanner>(rows, folded); });
}

} // namespace morvessa
