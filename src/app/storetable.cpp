#include "app/storetable.h"

#include <algorithm>
#include <numeric>

namespace morvessa {

const std::vector<std::uint32_t> &StoreTable::newestFirst() const
{
    std::call_once(m_orderOnce, [this] {
        m_newestFirst.resize(rowCount());
        std::iota(m_newestFirst.begin(), m_newestFirst.end(), 0u);
        std::stable_sort(m_newestFirst.begin(), m_newestFirst.end(), [this](std::uint32_t a, std::uint32_t b) {
            if (dateNull[a] || dateNull[b])
                return !dateNull[a] && dateNull[b];
            return date[a] > date[b];
        });
    });
    return m_newestFirst;
}

} // namespace morvessa
