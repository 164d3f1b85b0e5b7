#include "store/storetable.h"

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

std::shared_ptr<const StoreTable> StoreTableBuilder::finish() &&
{
    // The views are taken after the move: a short string's bytes live inside the string.
    auto owner = std::make_shared<StoreTableBuilder>(std::move(*this));
    auto table = std::make_shared<StoreTable>();
    table->subject = owner->subject.view();
    table->htm = owner->htm.view();
    table->content = owner->content.view();
    table->contentFolded = owner->contentFolded;
    table->date = owner->date;
    table->dateNull = owner->dateNull;
    table->storage = std::move(owner);
    return table;
}

} // namespace morvessa
