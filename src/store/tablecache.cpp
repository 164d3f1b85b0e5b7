#include "store/tablecache.h"

namespace morvessa {

TableResult TableCache::tableFor(const QString &path, ContentForm form, const ReadSettings &settings)
{
    const Result<DatabaseIdentity> version = identityOfFile(path);
    if (!version) {
        const std::lock_guard lock(m_mutex);
        m_tables.erase({path, ContentForm::Folded});
        m_tables.erase({path, ContentForm::AsWritten});
        return version.failure();
    }
    const std::pair key(path, form);
    const std::lock_guard lock(m_mutex);
    const auto it = m_tables.find(key);
    if (it != m_tables.end() && it->second.version == *version && !it->second.table->knownDamaged())
        return it->second.table;
    m_tables.erase(key);
    TableResult table = readMaindata(path, form, settings);
    if (table)
        m_tables[key] = {*version, *table};
    return table;
}

} // namespace morvessa
