#include "engine/scannercache.h"

#include <mutex>

namespace morvessa {

std::shared_ptr<const ContentScanner> scannerFor(const std::shared_ptr<const void> &owner, TextColumn rows,
                                                 bool folded)
{
    struct Entry {
        std::weak_ptr<const void> owner;
        const void *address;
        std::shared_ptr<const ContentScanner> scanner;
    };
    static std::mutex mutex;
    static std::vector<Entry> entries;
    const std::lock_guard lock(mutex);
    std::erase_if(entries, [](const Entry &e) { return e.owner.expired(); });
    for (const Entry &e : entries)
        if (e.address == owner.get())
            return e.scanner;
    auto scanner = std::make_shared<const ContentScanner>(rows, folded);
    entries.push_back({owner, owner.get(), scanner});
    return scanner;
}

} // namespace morvessa
