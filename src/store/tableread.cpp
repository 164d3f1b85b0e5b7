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

// libmdb's handle on the file and on its table maindata, closed together.
struct Handles {
    MdbHandle *mdb = nullptr;
    MdbTableDef *table = nullptr;
    Handles() = default;
    Handles(const Handles &) = delete;
    Handles &operator=(const Handles &) = delete;
    ~Handles()
    {
        if (table)
            mdb_free_tabledef(table);
        if (mdb)
            mdb_close(mdb);
    }
};

// Opens table maindata of the file with the definitions of its columns, checked against
// each other.
Result<void, ReadFailure> openMaindata(const MappedDatabase &file, Handles &open, const QString &path)
{
    if (!file.data())
        return readFailure(NotADatabase, path);
    open.mdb = mdb_open_buffer(file.data(), file.size(), MDB_NOFLAGS);
    if (!open.mdb)
        return readFailure(NotADatabase, path);
    // A database is whole pages; anything else was cut short.
    if (open.mdb->fmt->pg_size <= 0 || file.size() % std::size_t(open.mdb->fmt->pg_size) != 0)
        return readFailure(Damaged, path);
    if (!mdb_read_catalog(open.mdb, MDB_TABLE))
        return readFailure(NotADatabase, path);
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(open.mdb, "maindata");
    if (!entry || entry->object_type != MDB_TABLE)
        return readFailure(NoTable, path);
    open.table = mdb_read_table(entry);
    if (!open.table || !mdb_read_columns(open.table) || !definitionHoldsTogether(open.mdb, open.table))
        return readFailure(Damaged, path);
    return {};
}

// The columns read, as the table defines them: subject, htm, content and date.
struct WantedColumns {
    MdbColumn *cols[4] = {nullptr, nullptr, nullptr, nullptr};
    int dateType() const { return cols[3]->col_type; }
};

Result<WantedColumns, ReadFailure> wantedColumns(MdbTableDef *table, const QString &path)
{
    static const char *const names[] = {"subject", "htm", "content", "date"};
    WantedColumns wanted;
    for (int i = 0; i < 4; ++i) {
        wanted.cols[i] = findColumn(table, names[i]);
        if (!wanted.cols[i])
            return readFailure(MissingColumn, path, names[i]);
    }
    if (!isNumeric(wanted.dateType()))
        return readFailure(UnsupportedColumn, path, names[3]);
    for (int i = 0; i < 3; ++i) {
        if (wanted.cols[i]->col_type != MDB_TEXT && wanted.cols[i]->col_type != MDB_MEMO)
            return readFailure(UnsupportedColumn, path, names[i]);
    }
    return wanted;
}

// Reads the wanted values of one row of the current page at a time, each checked against
// its row and its column.
class RowReader {
public:
    enum Outcome : std::uint8_t { Read, Unreadable, Damage };

    RowReader(MdbHandle *mdb, MdbTableDef *table, const MappedDatabase &file, const WantedColumns &wanted,
              bool fold)
        : m_mdb(mdb),
          m_table(table),
          m_wanted(wanted),
          m_reader(mdb, file),
          m_fold(fold),
          m_fields(table->num_cols + 1)
    {}

    // Unreadable: libmdb could not take the row apart, and it is passed over.
    Outcome read(int rowStart, std::size_t rowSize)
    {
        if (mdb_crack_row(m_table, rowStart, rowSize, m_fields.data()) < 0)
            return Unreadable;
        return locate(rowStart, rowSize) && takeTexts() && takeDate() ? Read : Damage;
    }
    const RowValues &values() const { return m_values; }

private:
    // Finds the wanted values among the row's and checks that each lies inside the row,
    // fixed-size ones before the varying-size ones, and no text is longer than its column
    // allows.
    bool locate(int rowStart, std::size_t rowSize)
    {
        std::fill(std::begin(m_found), std::end(m_found), nullptr);
        for (unsigned i = 0; i < m_table->num_cols; ++i) {
            const int colnum = m_fields[i].colnum;
            if (colnum < 0 || unsigned(colnum) >= m_table->num_cols)
                return false;
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(m_table->columns, colnum));
            for (int c = 0; c < 4; ++c)
                if (col == m_wanted.cols[c])
                    m_found[c] = &m_fields[i];
        }
        const std::optional<RowLayout> layout = rowLayout(m_mdb, rowStart, rowSize);
        if (!layout)
            return false;
        for (int c = 0; c < 4; ++c) {
            const MdbField *f = m_found[c];
            const MdbColumn *col = m_wanted.cols[c];
            // libmdb reads a value the row has no place for as null: for these columns
            // that is a definition pointing past the row.
            if (!f || (!col->is_fixed && col->var_col_num >= layout->varCount))
                return false;
            if (f->is_null)
                continue;
            const int begin = f->start - rowStart;
            const int end = begin + f->siz;
            if (begin < 0 || f->siz < 0 || end > int(rowSize) || (col->is_fixed && end > layout->fixedEnd) ||
                (col->col_type == MDB_TEXT && f->siz > col->col_size))
                return false;
        }
        return true;
    }

    bool takeTexts()
    {
        std::string *texts[3] = {&m_values.subject, &m_values.htm, &m_values.content};
        bool *nulls[3] = {&m_values.subjectNull, &m_values.htmNull, &m_values.contentNull};
        for (int c = 0; c < 3; ++c) {
            const MdbField *f = m_found[c];
            texts[c]->clear();
            *nulls[c] = !f || f->is_null;
            if (!*nulls[c] && !m_reader.appendValue(m_wanted.cols[c], f->start, f->siz, *texts[c]))
                return false;
        }
        m_values.written.clear();
        if (m_fold) {
            m_folded.clear();
            appendFolded(m_folded, m_values.content);
            appendDifferences(m_values.written, m_folded, m_values.content);
            m_values.content.swap(m_folded);
        }
        return true;
    }

    bool takeDate()
    {
        const MdbField *f = m_found[3];
        const int type = m_wanted.dateType();
        double d = 0;
        bool null = !f || f->is_null;
        if (!null) {
            if (f->start < 0 || f->start + numberSize(type) > int(m_mdb->fmt->pg_size))
                return false;
            d = numberAt(m_mdb->pg_buf, f->start, type);
            null = std::isnan(d); // the engine turns NaN into NULL anyway
        }
        m_values.date = null ? 0 : d;
        m_values.dateNull = null;
        return true;
    }

    MdbHandle *m_mdb;
    MdbTableDef *m_table;
    WantedColumns m_wanted;
    ValueReader m_reader;
    bool m_fold;
    std::vector<MdbField> m_fields;
    const MdbField *m_found[4] = {nullptr, nullptr, nullptr, nullptr};
    RowValues m_values;
    std::string m_folded;
};

// Every row of the table into sink, page by page; false when the file turns out damaged
// or the sink refuses a row.
bool readRows(MdbHandle *mdb, MdbTableDef *table, std::uint64_t fileSize, RowReader &rows, RowSink &sink,
              void (*progress)())
{
    // A damaged page list could run in circles; a file holds no more pages than this.
    std::uint64_t pages = 0;
    const std::uint64_t maxPages = fileSize / std::uint64_t(mdb->fmt->pg_size) + 1;
    std::uint64_t rowsRead = 0;
    mdb_rewind_table(table);
    while (mdb_read_next_dpg(table)) {
        if (++pages > maxPages)
            return false;
        if (progress && pages % 16 == 0)
            progress();
        const int count = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
        for (int r = 0; r < count; ++r) {
            int rowStart = 0;
            std::size_t rowSize = 0;
            if (mdb_find_row(mdb, r, &rowStart, &rowSize) != 0 || rowSize == 0)
                continue;
            if (rowStart & 0x4000) // deleted
                continue;
            const RowReader::Outcome read = rows.read(rowStart & 0x1FFF, rowSize);
            if (read == RowReader::Unreadable)
                continue;
            if (read == RowReader::Damage || !sink.add(rows.values()))
                return false;
            ++rowsRead;
        }
    }
    // Pages that could not be read end the scan early: the table's own count tells.
    return rowsRead == table->num_rows;
}

} // namespace

Result<void, ReadFailure> readTable(int fd, const QString &path, RowSink &sink, bool fold, void (*progress)())
{
    const MappedDatabase file(fd);
    Handles open;
    if (const Result<void, ReadFailure> opened = openMaindata(file, open, path); !opened)
        return opened.failure();
    const Result<WantedColumns, ReadFailure> wanted = wantedColumns(open.table, path);
    if (!wanted)
        return wanted.failure();
    // No row is smaller than its entry in the page's row list.
    if (open.table->num_rows > file.size() / 2 || !sink.begin(open.table->num_rows))
        return readFailure(Damaged, path);
    RowReader rows(open.mdb, open.table, file, *wanted, fold);
    if (!readRows(open.mdb, open.table, file.size(), rows, sink, progress))
        return readFailure(Damaged, path);
    return {};
}

} // namespace morvessa
