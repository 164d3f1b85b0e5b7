#pragma once
// The tables a collection has read, one for each database file and content form, shared
// by every connection on that collection while the file is unchanged
// (store/databaseidentity.h).
#include "store/databaseidentity.h"
#include "store/mdbreader.h"
#include "store/ownercache.h"

#include <QString>

#include <map>
#include <mutex>
#include <utility>

namespace morvessa {

class TableCache {
public:
    // The table of the file at path as it is now: the one read before while the file is
    // unchanged, else read anew with settings. A file that cannot be read leaves nothing
    // behind.
    TableResult tableFor(const QString &path, ContentForm form, const ReadSettings &settings);
    // What the layers above make from a table (the scanner of its content, its
    // variant-folded form), kept with the collection while the table lives, so that its
    // searches make each once.
    OwnerCache &madeFromTables() { return m_madeFromTables; }

private:
    struct Entry {
        DatabaseIdentity version;
        std::shared_ptr<const StoreTable> table;
    };
    std::mutex m_mutex;
    std::map<std::pair<QString, ContentForm>, Entry> m_tables;
    OwnerCache m_madeFromTables;
};

} // namespace morvessa
