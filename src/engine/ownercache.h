#pragma once
// Something made from an object on first use and kept while that object lives: the content
// scanner of a table, the variant-folded table of a table. Kept by the object's address;
// an entry goes once its object is gone (what is kept must not hold the object itself, or
// it would never go).
#include <memory>
#include <mutex>
#include <vector>

namespace morvessa {

template <typename Value>
class OwnerCache {
public:
    // The value kept for owner; made with make() on first use, under the cache's lock, so
    // that two threads asking at once make it once. When make() throws, nothing is kept.
    template <typename Make>
    std::shared_ptr<const Value> get(const std::shared_ptr<const void> &owner, Make &&make)
    {
        const std::lock_guard lock(m_mutex);
        std::erase_if(m_entries, [](const Entry &e) { return e.owner.expired(); });
        for (const Entry &e : m_entries)
            if (e.address == owner.get())
                return e.value;
        std::shared_ptr<const Value> value = make();
        m_entries.push_back({owner, owner.get(), value});
        return value;
    }

private:
    struct Entry {
        std::weak_ptr<const void> owner;
        const void *address;
        std::shared_ptr<const Value> value;
    };
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
};

} // namespace morvessa
