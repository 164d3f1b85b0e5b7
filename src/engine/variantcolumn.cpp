#include "engine/variantcolumn.h"

#include "text/variants.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace morvessa {

namespace {

std::atomic<std::uint64_t> g_folded{0};

std::shared_ptr<const StoreTable> makeVariantTable(const StoreTable &table, const VariantTable &variants)
{
    struct Storage {
        std::shared_ptr<const void> source;     // the memory of subject, htm, date and the nulls
        TextColumnBuilder content;              // the folded content
        std::vector<std::uint32_t> newestFirst; // the table's, not sorted again
    };
    auto storage = std::make_shared<Storage>();
    storage->source = table.storage;
    auto view = std::make_shared<StoreTable>();
    storage->content = foldVariantColumn(table.content, variants);
    view->content = storage->content.view();
    ++g_folded;
    const std::span<const std::uint32_t> order = table.newestFirst();
    storage->newestFirst.assign(order.begin(), order.end());
    view->subject = table.subject;
    view->htm = table.htm;
    view->written = table.written;
    view->contentFolded = table.contentFolded; // variant folding keeps case and width folding as it is
    view->date = table.date;
    view->dateNull = table.dateNull;
    view->storedNewestFirst = storage->newestFirst;
    view->storage = std::move(storage);
    return view;
}

} // namespace

TextColumnBuilder foldVariantColumn(const TextColumn &content, const VariantTable &variants)
{
    TextColumnBuilder folded;
    folded.bytes.resize(content.bytes.size());
    folded.ends.resize(content.size());
    folded.isNull.assign(content.isNull.begin(), content.isNull.end());
    // Rows [from, to) folded where their own bytes begin (a fold is never longer); returns
    // where the last one ends.
    auto foldRows = [&](std::size_t from, std::size_t to) {
        std::size_t at = from == 0 ? 0 : content.ends[from - 1];
        for (std::size_t row = from; row < to; ++row) {
            at += variants.foldUtf8To(content.at(row), folded.bytes.data() + at);
            folded.ends[row] = at;
        }
        return at;
    };
    // A program folds this once, on its first variant search: a large column in two halves
    // at once, the second then moved up behind the first.
    constexpr std::size_t kHalvesFrom = std::size_t(8) << 20;
    const std::size_t rows = content.size();
    std::size_t half = rows;
    if (content.bytes.size() >= kHalvesFrom && std::thread::hardware_concurrency() > 1)
        half = std::max<std::size_t>(
            1, std::size_t(std::upper_bound(content.ends.begin(), content.ends.end(), content.bytes.size() / 2) -
                           content.ends.begin()));
    std::size_t secondEnd = 0;
    std::thread second;
    if (half < rows) {
        try {
            second = std::thread([&] { secondEnd = foldRows(half, rows); });
        } catch (const std::system_error &) { // no thread to be had: one after the other
            half = rows;
        }
    }
    std::size_t at = foldRows(0, half);
    if (second.joinable()) {
        second.join();
        const std::size_t begin = content.ends[half - 1];
        std::memmove(folded.bytes.data() + at, folded.bytes.data() + begin, secondEnd - begin);
        for (std::size_t row = half; row < rows; ++row)
            folded.ends[row] -= begin - at;
        at += secondEnd - begin;
    }
    folded.bytes.resize(at);
    return folded;
}

Result<std::shared_ptr<const StoreTable>> variantTableFor(TableCache &tables,
                                                          const std::shared_ptr<const StoreTable> &table)
{
    const Result<std::shared_ptr<const VariantTable>> variants = variantTable();
    if (!variants)
        return variants.failure();
    // The folded table holds the table's memory, not the table, so the entry goes when
    // the table does.
    return tables.madeFromTables().get<StoreTable>(table, [&] { return makeVariantTable(*table, **variants); });
}

std::uint64_t variantColumnsFolded()
{
    return g_folded.load();
}

} // namespace morvessa
