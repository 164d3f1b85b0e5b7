#include "store/tableread.h"

#include "store/readmessages.h"
#include "store/writtenform.h"
#include "text/textfold.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "store/jetvalues.h"

namespace morvessa {

namespace {

MdbColumn *findColumn(MdbTableDef *table, const char *name)
{
    for (unsigned i = 0; i < table->num_cols; ++i) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        if (g_ascii_strcasecmp(col->name, name) == 0)
            return col;
    }
    return nullptr;
}

bool isNumeric(int type)
{
    switch (type) {
    case MDB_DATETIME:
    case MDB_DOUBLE:
    case MDB_FLOAT:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_BYTE:
        return true;
    default:
        return false;
    }
}

double numberAt(const unsigned char *page, int start, int type)
{
    auto *p = const_cast<unsigned char *>(page);
    switch (type) {
    case MDB_DATETIME:
    case MDB_DOUBLE:
        return mdb_get_double(p, start);
    case MDB_FLOAT:
        return mdb_get_single(p, start);
    case MDB_INT:
        return double(short(mdb_get_int16(p, start)));
    case MDB_LONGINT:
        return double(std::int32_t(mdb_get_int32(p, start)));
    case MDB_BYTE:
        return double(mdb_get_byte(p, start));
    }
    return 0;
}

int numberSize(int type)
{
    switch (type) {
    case MDB_DATETIME:
    case MDB_DOUBLE:
        return 8;
    case MDB_FLOAT:
    case MDB_LONGINT:
        return 4;
    case MDB_INT:
        return 2;
    default:
        return 1;
    }
}

// The size a column of a type always has in the row, or -1 for types of varying size.
int fixedSizeOf(int type)
{
    switch (type) {
    case MDB_BOOL:
        return 0; // held in the row's null mask
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
    case MDB_COMPLEX:
        return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return 8;
    case MDB_REPID:
        return 16;
    case MDB_NUMERIC:
        return 17;
    default:
        return -1;
    }
}

// A definition that contradicts itself describes rows that are not there: reading by it
// gives blank or shifted values. Every column numbered once, as many varying-size columns
// as the table says, each type with its size, fixed values inside the row and apart.
bool definitionHoldsTogether(const MdbHandle *mdb, const MdbTableDef *table)
{
    const unsigned count = table->num_cols;
    if (count == 0 || count > 255 || !table->columns || table->columns->len != count)
        return false;
    std::vector<std::uint8_t> colNums(256, 0), rowColNums(65536, 0), varNums(65536, 0);
    std::vector<std::pair<int, int>> fixedSpans;
    unsigned variable = 0;
    const int pgSize = int(mdb->fmt->pg_size);
    for (unsigned i = 0; i < count; ++i) {
        const auto *col = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i));
        if (col->col_num < 0 || unsigned(col->col_num) >= count || colNums[std::size_t(col->col_num)]++ ||
            col->row_col_num < 0 || col->row_col_num > 65535 || rowColNums[std::size_t(col->row_col_num)]++)
            return false;
        const int size = fixedSizeOf(col->col_type);
        if (!col->is_fixed) {
            if (size >= 0 || col->var_col_num > 65535 || varNums[col->var_col_num]++)
                return false;
            ++variable;
            if (col->col_type == MDB_TEXT && (col->col_size <= 0 || col->col_size > 510))
                return false;
            continue;
        }
        if (size >= 0 && col->col_size != size && col->col_type != MDB_BOOL)
            return false;
        if (col->col_size < 0 || col->fixed_offset < 0 || col->fixed_offset + col->col_size > pgSize)
            return false;
        if (col->col_size > 0)
            fixedSpans.emplace_back(col->fixed_offset, col->fixed_offset + col->col_size);
    }
    if (variable != table->num_var_cols)
        return false;
    std::sort(fixedSpans.begin(), fixedSpans.end());
    for (std::size_t i = 1; i < fixedSpans.size(); ++i)
        if (fixedSpans[i].first < fixedSpans[i - 1].second)
            return false;
    return true;
}

// A row's own account of its layout: where its fixed-size values end (from the row's
// start: the start of its first varying-size value) and how many varying-size values it
// has room for. Null when that does not add up.
struct RowLayout {
    int fixedEnd = 0;
    unsigned varCount = 0;
};

std::optional<RowLayout> rowLayout(const MdbHandle *mdb, int rowStart, std::size_t rowSize)
{
    const unsigned char *pg = mdb->pg_buf;
    const int pgSize = int(mdb->fmt->pg_size);
    const int rowEnd = rowStart + int(rowSize) - 1;
    if (rowEnd >= pgSize)
        return std::nullopt;
    if (mdb->f->jet_version == MDB_VER_JET3) // older layout: bounded by the row alone
        return RowLayout{int(rowSize), 65536};
    auto int16At = [pg](int at) { return int(pg[at]) | (int(pg[at + 1]) << 8); };
    const int maskSize = (int16At(rowStart) + 7) / 8;
    const int varCountAt = rowEnd - maskSize - 1;
    if (varCountAt < rowStart + 2)
        return std::nullopt;
    const int varCount = int16At(varCountAt);
    if (varCount == 0)
        return RowLayout{varCountAt - rowStart, 0};
    const int firstVarAt = varCountAt - 2;
    if (firstVarAt < rowStart + 2)
        return std::nullopt;
    return RowLayout{int16At(firstVarAt), unsigned(varCount)};
}

// Fills `out` from the file; on failure returns what went wrong. Uses libmdb, so a
// damaged file may crash it: call it in the reading program unless told otherwise.

} // namespace

Result<void, ReadFailure> readTable(int fd, const QString &path, RowSink &sink, bool fold, void (*progress)())
{
    const auto fail = [&path](ReadStatus status, std::string detail = {}) {
        return readFailure(status, path, std::move(detail));
    };
    const MappedDatabase file(fd);
    if (!file.data())
        return fail(NotADatabase);
    const std::uint64_t fileSize = file.size();
    MdbHandle *mdb = mdb_open_buffer(file.data(), file.size(), MDB_NOFLAGS);
    if (!mdb)
        return fail(NotADatabase);
    struct Closer {
        MdbHandle *mdb;
        MdbTableDef *table = nullptr;
        ~Closer()
        {
            if (table)
                mdb_free_tabledef(table);
            mdb_close(mdb);
        }
    } closer{mdb};

    // A database is whole pages; anything else was cut short.
    if (mdb->fmt->pg_size <= 0 || file.size() % std::size_t(mdb->fmt->pg_size) != 0)
        return fail(Damaged);
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        return fail(NotADatabase);
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(mdb, "maindata");
    if (!entry || entry->object_type != MDB_TABLE)
        return fail(NoTable);
    MdbTableDef *table = mdb_read_table(entry);
    if (!table)
        return fail(Damaged);
    closer.table = table;
    if (!mdb_read_columns(table))
        return fail(Damaged);

    if (!definitionHoldsTogether(mdb, table))
        return fail(Damaged);
    const char *names[] = {"subject", "htm", "content", "date"};
    MdbColumn *cols[4];
    for (int i = 0; i < 4; ++i) {
        cols[i] = findColumn(table, names[i]);
        if (!cols[i])
            return fail(MissingColumn, names[i]);
    }
    const int dateType = cols[3]->col_type;
    if (!isNumeric(dateType))
        return fail(UnsupportedColumn, names[3]);
    for (int i = 0; i < 3; ++i) {
        if (cols[i]->col_type != MDB_TEXT && cols[i]->col_type != MDB_MEMO)
            return fail(UnsupportedColumn, names[i]);
    }
    // No row is smaller than its entry in the page's row list.
    if (table->num_rows > fileSize / 2)
        return fail(Damaged);

    ValueReader reader(mdb, file);
    if (!sink.begin(table->num_rows))
        return fail(Damaged);
    RowValues values;
    std::string folded;
    std::string *texts[3] = {&values.subject, &values.htm, &values.content};
    bool *nulls[3] = {&values.subjectNull, &values.htmNull, &values.contentNull};
    std::uint64_t rowsRead = 0;

    std::vector<MdbField> fields(table->num_cols + 1);
    const int pgSize = int(mdb->fmt->pg_size);
    // A damaged page list could run in circles; a file holds no more pages than this.
    std::uint64_t pages = 0;
    const std::uint64_t maxPages = fileSize / std::uint64_t(pgSize) + 1;
    mdb_rewind_table(table);
    while (mdb_read_next_dpg(table)) {
        if (++pages > maxPages)
            return fail(Damaged);
        if (progress && pages % 16 == 0)
            progress();
        const int rows = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
        for (int r = 0; r < rows; ++r) {
            int rowStart = 0;
            std::size_t rowSize = 0;
            if (mdb_find_row(mdb, r, &rowStart, &rowSize) != 0 || rowSize == 0)
                continue;
            if (rowStart & 0x4000) // deleted
                continue;
            rowStart &= 0x1FFF;
            const int n = mdb_crack_row(table, rowStart, rowSize, fields.data());
            if (n < 0)
                continue;
            const MdbField *found[4] = {nullptr, nullptr, nullptr, nullptr};
            for (unsigned i = 0; i < table->num_cols; ++i) {
                const int colnum = fields[i].colnum;
                if (colnum < 0 || unsigned(colnum) >= table->num_cols)
                    return fail(Damaged);
                auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, colnum));
                for (int c = 0; c < 4; ++c)
                    if (col == cols[c])
                        found[c] = &fields[i];
            }
            // Each value lies inside its row, fixed-size ones before the varying-size ones,
            // and no text is longer than its column allows.
            const std::optional<RowLayout> layout = rowLayout(mdb, rowStart, rowSize);
            if (!layout)
                return fail(Damaged);
            for (int c = 0; c < 4; ++c) {
                const MdbField *f = found[c];
                // libmdb reads a value the row has no place for as null: for these columns
                // that is a definition pointing past the row.
                if (!f || (!cols[c]->is_fixed && cols[c]->var_col_num >= layout->varCount))
                    return fail(Damaged);
                if (f->is_null)
                    continue;
                const int begin = f->start - rowStart;
                const int end = begin + f->siz;
                if (begin < 0 || f->siz < 0 || end > int(rowSize) ||
                    (cols[c]->is_fixed && end > layout->fixedEnd) ||
                    (cols[c]->col_type == MDB_TEXT && f->siz > cols[c]->col_size))
                    return fail(Damaged);
            }
            for (int c = 0; c < 3; ++c) {
                const MdbField *f = found[c];
                texts[c]->clear();
                *nulls[c] = !f || f->is_null;
                if (!*nulls[c] && !reader.appendValue(cols[c], f->start, f->siz, *texts[c]))
                    return fail(Damaged);
            }
            values.written.clear();
            if (fold) {
                folded.clear();
                appendFolded(folded, values.content);
                appendDifferences(values.written, folded, values.content);
                values.content.swap(folded);
            }
            const MdbField *f = found[3];
            double d = 0;
            bool null = !f || f->is_null;
            if (!null) {
                if (f->start < 0 || f->start + numberSize(dateType) > pgSize)
                    return fail(Damaged);
                d = numberAt(mdb->pg_buf, f->start, dateType);
                null = std::isnan(d); // the engine turns NaN into NULL anyway
            }
            values.date = null ? 0 : d;
            values.dateNull = null;
            if (!sink.add(values))
                return fail(Damaged);
            ++rowsRead;
        }
    }
    // Pages that could not be read end the scan early: the table's own count tells.
    if (rowsRead != table->num_rows)
        return fail(Damaged);
    return {};
}

} // namespace morvessa
