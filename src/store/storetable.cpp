#include "store/storetable.h"

#include "store/chunkcheck.h"

#include <algorithm>
#include <numeric>

namespace morvessa {

void sortNewestFirst(std::span<std::uint32_t> rows, std::span<const double> date,
                     std::span<const std::uint8_t> dateNull)
{
    std::iota(rows.begin(), rows.end(), 0u);
    // Ties are broken by the row number, so an unstable sort in place gives the stable order.
    std::sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (dateNull[a] || dateNull[b]) {
            if (bool(dateNull[a]) != bool(dateNull[b]))
                return !dateNull[a];
            return a < b;
        }
        if (date[a] != date[b])
            return date[a] > date[b];
        return a < b;
    });
}

std::span<const std::uint32_t> StoreTable::newestFirst() const
{
    if (!storedNewestFirst.empty() || rowCount() == 0)
        return storedNewestFirst;
    std::call_once(m_orderOnce, [this] {
        m_newestFirst.resize(rowCount());
        sortNewestFirst(m_newestFirst, date, dateNull);
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
    table->written = owner->written.view();
    table->contentFolded = owner->contentFolded;
    table->date = owner->date;
    table->dateNull = owner->dateNull;
    table->storage = std::move(owner);
    return table;
}

std::string_view TextColumn::read(std::size_t row, std::string &copy) const
{
    const std::string_view value = at(row);
    if (!check || value.empty())
        return value;
    copy.resize(value.size());
    if (!check->read(value.data(), value.size(), copy.data()))
        return value; // the file failed its checks: the mapping says just as little
    return copy;
}

bool StoreTable::settled() const
{
    return !pending || pending->settle();
}

bool StoreTable::knownDamaged() const
{
    return pending && pending->failed();
}

} // namespace morvessa
