#include "engine/maindatamodule.h"

#include "store/storetable.h"

#include <memory>

namespace morvessa {

namespace {

enum Column { SubjectColumn, HtmColumn, ContentColumn, DateColumn };
enum ScanOrder { FileOrder = 0, NewestFirst = 1 };

struct MaindataTab {
    sqlite3_vtab base{};
    std::shared_ptr<const StoreTable> table;
};

struct MaindataCursor {
    sqlite3_vtab_cursor base{};
    const StoreTable *table = nullptr;
    const std::uint32_t *order = nullptr; // null: file order
    std::size_t pos = 0;
    std::size_t count = 0;
    std::size_t row() const { return order ? order[pos] : pos; }
};

int tabConnect(sqlite3 *db, void *aux, int, const char *const *, sqlite3_vtab **out, char **)
{
    const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(subject TEXT, htm TEXT, content TEXT, date REAL)");
    if (rc != SQLITE_OK)
        return rc;
    auto *tab = new MaindataTab;
    tab->table = *static_cast<const std::shared_ptr<const StoreTable> *>(aux);
    *out = &tab->base;
    return SQLITE_OK;
}

int tabDisconnect(sqlite3_vtab *vtab)
{
    delete reinterpret_cast<MaindataTab *>(vtab);
    return SQLITE_OK;
}

// The scan hands rows over newest first itself when asked for that order, so ties keep
// the file's order (SQLite's own sort does not promise that).
int tabBestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    const auto *tab = reinterpret_cast<MaindataTab *>(vtab);
    const auto rows = double(tab->table->rowCount());
    info->idxNum = FileOrder;
    const auto &ob = info->aOrderBy;
    const bool dateDesc = info->nOrderBy >= 1 && ob[0].iColumn == DateColumn && ob[0].desc;
    if (dateDesc && (info->nOrderBy == 1 || (info->nOrderBy == 2 && ob[1].iColumn == -1 && !ob[1].desc))) {
        info->idxNum = NewestFirst;
        info->orderByConsumed = 1;
    } else if (info->nOrderBy == 1 && ob[0].iColumn == -1 && !ob[0].desc) {
        info->orderByConsumed = 1;
    }
    info->estimatedCost = rows + 1;
    info->estimatedRows = sqlite3_int64(rows);
    return SQLITE_OK;
}

int tabOpen(sqlite3_vtab *vtab, sqlite3_vtab_cursor **out)
{
    auto *cursor = new MaindataCursor;
    cursor->table = reinterpret_cast<MaindataTab *>(vtab)->table.get();
    *out = &cursor->base;
    return SQLITE_OK;
}

int tabClose(sqlite3_vtab_cursor *cur)
{
    delete reinterpret_cast<MaindataCursor *>(cur);
    return SQLITE_OK;
}

int tabFilter(sqlite3_vtab_cursor *cur, int idxNum, const char *, int, sqlite3_value **)
{
    auto *c = reinterpret_cast<MaindataCursor *>(cur);
    c->order = idxNum == NewestFirst ? c->table->newestFirst().data() : nullptr;
    c->pos = 0;
    c->count = c->table->rowCount();
    return SQLITE_OK;
}

int tabNext(sqlite3_vtab_cursor *cur)
{
    ++reinterpret_cast<MaindataCursor *>(cur)->pos;
    return SQLITE_OK;
}

int tabEof(sqlite3_vtab_cursor *cur)
{
    const auto *c = reinterpret_cast<MaindataCursor *>(cur);
    return c->pos >= c->count;
}

void resultText(sqlite3_context *ctx, const TextColumn &column, std::size_t row)
{
    if (column.null(row)) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::string_view text = column.at(row);
    // The table outlives every statement of the connection: no copy.
    sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
}

int tabColumn(sqlite3_vtab_cursor *cur, sqlite3_context *ctx, int column)
{
    const auto *c = reinterpret_cast<MaindataCursor *>(cur);
    const StoreTable &t = *c->table;
    const std::size_t row = c->row();
    switch (column) {
    case SubjectColumn:
        resultText(ctx, t.subject, row);
        break;
    case HtmColumn:
        resultText(ctx, t.htm, row);
        break;
    case ContentColumn:
        resultText(ctx, t.content, row);
        break;
    case DateColumn:
        if (t.dateNull[row])
            sqlite3_result_null(ctx);
        else
            sqlite3_result_double(ctx, t.date[row]);
        break;
    }
    return SQLITE_OK;
}

int tabRowid(sqlite3_vtab_cursor *cur, sqlite3_int64 *rowid)
{
    *rowid = sqlite3_int64(reinterpret_cast<MaindataCursor *>(cur)->row()) + 1;
    return SQLITE_OK;
}

sqlite3_module makeModule()
{
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = nullptr; // eponymous only: the table is there in every connection
    m.xConnect = tabConnect;
    m.xBestIndex = tabBestIndex;
    m.xDisconnect = tabDisconnect;
    m.xDestroy = tabDisconnect;
    m.xOpen = tabOpen;
    m.xClose = tabClose;
    m.xFilter = tabFilter;
    m.xNext = tabNext;
    m.xEof = tabEof;
    m.xColumn = tabColumn;
    m.xRowid = tabRowid;
    return m;
}

} // namespace

const sqlite3_module &maindataModule()
{
    static const sqlite3_module module = makeModule();
    return module;
}

} // namespace morvessa
