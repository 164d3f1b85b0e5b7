#pragma once
// Things made from an object on first use and kept while that object lives: the content
// scanner of a table, the variant-folded table of a table. Kept by the object's address and
// the kind of thing made; an entry goes once its object is gone (what is kept must not hold
// the object itself, or it would never go).
#include <map>
#include <memory>
#include <mutex>
#include <typeindex>
#include <vector>

namespace morvessa {

class OwnerCache {
public:
    // The Value kept for owner; made with make() on first use, under the lock of its kind,
    // so that two threads asking at once make it once while other kinds stay free. When
    // make() throws, nothing is kept.
    template <typename Value, typename Make>
    std::shared_ptr<const Value> get(const std::shared_ptr<const void> &owner, Make &&make)
    {
        Kind &kind = kindOf(typeid(Value));
        const std::lock_guard lock(kind.mutex);
        std::erase_if(kind.entries, [](const Entry &e) { return e.owner.expired(); });
        for (const Entry &e : kind.entries)
            if (e.address == owner.get())
                return std::static_pointer_cast<const Value>(e.value);
        std::shared_ptr<const Value> value = make();
        kind.entries.push_back({owner, owner.get(), value});
        return value;
    }

private:
    struct Entry {
        std::weak_ptr<const void> owner;
        const void *address;
        std::shared_ptr<const void> value;
    };
    struct Kind {
        std::mutex mutex;
        std::vector<Entry> entries;
    };
    Kind &kindOf(std::type_index type)
    {
        const std::lock_guard lock(m_mutex);
        return m_kinds[type]; // a map's elements stay where they are
    }
    std::mutex m_mutex;
    std::map<std::type_index, Kind> m_kinds;
};

} // namespace morvessa
