#include "engine/variantcolumn.h"

#include "engine/ownercache.h"
#include "store/keptcolumns.h"
#include "text/variants.h"

#include <atomic>
#include <vector>

namespace morvessa {

namespace {

// Raised whenever folding a column changes in a way the fold table does not show (a kept
// folded column of another version is then a miss).
constexpr std::uint64_t kFoldVersion = 1;

std::atomic<std::uint64_t> g_folded{0}, g_readBack{0};

// What a kept folded column must have been made with: this way of folding, this table.
std::uint64_t derivationOf(const VariantTable &variants)
{
    const std::uint64_t parts[] = {kFoldVersion, variants.fingerprint()};
    return hashBytes(parts, sizeof parts);
}

std::shared_ptr<const StoreTable> makeVariantTable(const StoreTable &table, const VariantTable &variants)
{
    struct Storage {
        std::shared_ptr<const void> source;     // the memory of subject, htm, date and the nulls
        std::shared_ptr<const void> kept;       // the kept folded content, mapped
        TextColumnBuilder content;              // or the folded content made here
        std::vector<std::uint32_t> newestFirst; // the table's, not sorted again
    };
    auto storage = std::make_shared<Storage>();
    storage->source = table.storage;
    auto view = std::make_shared<StoreTable>();
    const DerivedColumnKey key{table.contentKey, derivationOf(variants), table.content.size()};
    if (std::optional<MappedColumn> kept = openKeptDerived(key, table.content.isNull)) {
        storage->kept = std::move(kept->storage);
        view->content = kept->column;
        ++g_readBack;
    } else {
        storage->content = foldVariantColumn(table.content, variants);
        view->content = storage->content.view();
        keepDerived(key, view->content);
        ++g_folded;
    }
    const std::span<const std::uint32_t> order = table.newestFirst();
    storage->newestFirst.assign(order.begin(), order.end());
    view->subject = table.subject;
    view->htm = table.htm;
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
    std::size_t at = 0;
    for (std::size_t row = 0; row < content.size(); ++row) {
        at += variants.foldUtf8To(content.at(row), folded.bytes.data() + at);
        folded.ends[row] = at;
    }
    folded.bytes.resize(at);
    return folded;
}

Result<std::shared_ptr<const StoreTable>> variantTableFor(const std::shared_ptr<const StoreTable> &table)
{
    const Result<std::shared_ptr<const VariantTable>> variants = variantTable();
    if (!variants)
        return variants.failure();
    // The folded table holds the table's memory, not the table, so the entry goes when
    // the table does.
    static OwnerCache<StoreTable> cache;
    return cache.get(table, [&] { return makeVariantTable(*table, **variants); });
}

VariantColumnCounts variantColumnCounts()
{
    return {g_folded.load(), g_readBack.load()};
}

} // namespace morvessa
