#include "engine/variantcolumn.h"

#include "store/dberror.h"
#include "text/variants.h"

#include <mutex>
#include <vector>

namespace morvessa {

TextColumnBuilder foldVariantColumn(const TextColumn &content)
{
    const std::shared_ptr<const VariantTable> variants = variantTable();
    TextColumnBuilder folded;
    folded.bytes.reserve(content.bytes.size());
    folded.ends.reserve(content.size());
    folded.isNull.reserve(content.size());
    for (std::size_t row = 0; row < content.size(); ++row) {
        variants->foldUtf8Into(content.at(row), folded.bytes);
        folded.endValue(content.null(row));
    }
    return folded;
}

namespace {

std::shared_ptr<const StoreTable> makeVariantTable(const StoreTable &table)
{
    struct Storage {
        std::shared_ptr<const void> source; // the memory of subject, htm and date
        TextColumnBuilder content;
        std::vector<std::uint32_t> newestFirst; // the table's, not sorted again
    };
    auto storage = std::make_shared<Storage>();
    storage->source = table.storage;
    storage->content = foldVariantColumn(table.content);
    const std::span<const std::uint32_t> order = table.newestFirst();
    storage->newestFirst.assign(order.begin(), order.end());
    auto view = std::make_shared<StoreTable>();
    view->subject = table.subject;
    view->htm = table.htm;
    view->content = storage->content.view();
    view->contentFolded = table.contentFolded; // variant folding keeps case and width folding as it is
    view->date = table.date;
    view->dateNull = table.dateNull;
    view->storedNewestFirst = storage->newestFirst;
    view->storage = std::move(storage);
    return view;
}

} // namespace

std::shared_ptr<const StoreTable> variantTableFor(const std::shared_ptr<const StoreTable> &table)
{
    // Kept by the table's address while the table lives; the folded table holds the
    // table's memory, not the table, so the entry goes when the table does.
    struct Entry {
        std::weak_ptr<const StoreTable> table;
        const StoreTable *address;
        std::shared_ptr<const StoreTable> folded;
    };
    static std::mutex mutex;
    static std::vector<Entry> entries;
    const std::lock_guard lock(mutex);
    std::erase_if(entries, [](const Entry &e) { return e.table.expired(); });
    for (const Entry &e : entries)
        if (e.address == table.get())
            return e.folded;
    std::shared_ptr<const StoreTable> folded;
    try {
        folded = makeVariantTable(*table);
    } catch (const VariantDataError &e) {
        throw DbError(e.message());
    }
    entries.push_back({table, table.get(), folded});
    return folded;
}

} // namespace morvessa
