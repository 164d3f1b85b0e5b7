#include "engine/tablecache.h"

#include "store/databaseidentity.h"

#include <map>
#include <mutex>

namespace morvessa {

namespace {

struct CachedTable {
    DatabaseIdentity version;
    std::shared_ptr<const StoreTable> table;
};

std::mutex g_cacheMutex;
std::map<QString, CachedTable> g_cache;

} // namespace

TableResult tableFor(const QString &path, const Collection &collection)
{
    const std::optional<DatabaseIdentity> version = identityOfFile(path);
    if (!version) {
        const std::lock_guard lock(g_cacheMutex);
        g_cache.erase(path);
        g_cache.erase(path + QStringLiteral("\n(as written)"));
        return readMaindata(path); // fails, saying why
    }
    // Content is only ever matched with like, so the fast path holds it folded; the plain
    // path keeps it as written, in a table of its own.
    const ContentForm form = collection.plainSearch ? ContentForm::AsWritten : ContentForm::Folded;
    const QString key = form == ContentForm::Folded ? path : path + QStringLiteral("\n(as written)");
    const std::lock_guard lock(g_cacheMutex);
    const auto it = g_cache.find(key);
    if (it != g_cache.end() && it->second.version == *version)
        return it->second.table;
    g_cache.erase(key);
    TableResult table = readMaindata(path, form, collection.reading);
    if (table)
        g_cache[key] = {*version, *table};
    return table;
}

} // namespace morvessa
