#include "store/mdbreader.h"

#include "store/dberror.h"
#include "text/textfold.h"
#include "text/utf8.h"

#include <mdbtools.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <optional>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace morvessa {

namespace {

enum ReadStatus : std::uint8_t {
    ReadOk = 0,
    NotADatabase = 1,
    NoTable = 2,
    MissingColumn = 3,
    UnsupportedColumn = 4,
    Damaged = 5,
};

struct ReadFailure {
    ReadStatus status;
    std::string detail; // the column concerned, when there is one
};

// Jet 4 text: UTF-16LE, or, after the marker FF FE, runs of one-byte characters
// (U+0001..U+00FF) and two-byte characters, switched by a zero byte.
void appendJet4Text(const unsigned char *src, std::size_t len, std::string &out)
{
    // Every source byte gives at most two UTF-8 bytes, a lone surrogate at the end three.
    const std::size_t oldSize = out.size();
    out.resize(oldSize + 2 * len + 4);
    auto *const begin = reinterpret_cast<unsigned char *>(out.data()) + oldSize;
    unsigned char *d = begin;
    auto put = [&d](std::uint32_t cp) { d += encodeUtf8(cp, d); };
    std::uint32_t pendingHigh = 0; // a high surrogate waiting for its partner
    auto unit = [&](std::uint32_t u) {
        if (pendingHigh) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                put(0x10000 + ((pendingHigh - 0xD800) << 10) + (u - 0xDC00));
                pendingHigh = 0;
                return;
            }
            put(0xFFFD);
            pendingHigh = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            pendingHigh = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            put(0xFFFD);
        else
            put(u);
    };

    std::size_t i = 0;
    if (len >= 2 && src[0] == 0xFF && src[1] == 0xFE) {
        bool compressed = true;
        i = 2;
        while (i < len) {
            if (src[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                unit(src[i]);
                ++i;
            } else if (i + 1 < len) {
                unit(std::uint32_t(src[i]) | (std::uint32_t(src[i + 1]) << 8));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (; i + 1 < len; i += 2)
            unit(std::uint32_t(src[i]) | (std::uint32_t(src[i + 1]) << 8));
    }
    if (pendingHigh)
        put(0xFFFD);
    out.resize(oldSize + std::size_t(d - begin));
}

// The database file mapped into memory; libmdb reads its pages from there.
class MappedFile {
public:
    explicit MappedFile(int fd)
    {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_size > 0) {
            void *p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED) {
                m_data = static_cast<unsigned char *>(p);
                m_size = std::size_t(st.st_size);
                ::madvise(p, m_size, MADV_WILLNEED);
            }
        }
    }
    ~MappedFile()
    {
        if (m_data)
            ::munmap(m_data, m_size);
    }
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    unsigned char *data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    unsigned char *m_data = nullptr;
    std::size_t m_size = 0;
};

class TableReader {
public:
    TableReader(MdbHandle *mdb, const MappedFile &file) : m_mdb(mdb), m_file(file), m_fileSize(file.size()) {}

    // Text of a text, memo or other column value at [start, start+size) of the current page.
    bool appendValue(const MdbColumn *col, int start, int size, std::string &out)
    {
        const int pgSize = int(m_mdb->fmt->pg_size);
        if (start < 0 || size < 0 || start > pgSize || size > pgSize - start)
            return false;
        const auto *page = m_mdb->pg_buf;
        switch (col->col_type) {
        case MDB_TEXT:
            appendText(page + start, std::size_t(size), out);
            return true;
        case MDB_MEMO:
            return appendMemo(start, size, out);
        default: {
            char *text = mdb_col_to_string(m_mdb, m_mdb->pg_buf, start, col->col_type, size);
            if (text) {
                out.append(text);
                g_free(text);
            }
            return true;
        }
        }
    }

private:
    void appendText(const unsigned char *src, std::size_t len, std::string &out)
    {
        if (m_mdb->f->jet_version != MDB_VER_JET3) {
            appendJet4Text(src, len, out);
            return;
        }
        // Jet 3 stores text in the database's code page; libmdb knows it.
        m_convert.resize(len * 4 + 16);
        const int n = mdb_unicode2ascii(m_mdb, reinterpret_cast<const char *>(src), len, m_convert.data(),
                                        m_convert.size());
        if (n > 0)
            out.append(m_convert.data(), std::size_t(n));
    }

    // A memo value: 12 bytes in the row (length with flags, page and row of the first
    // part), the text either right behind them or in a chain of long-value rows.
    bool appendMemo(int start, int size, std::string &out)
    {
        if (size < MDB_MEMO_OVERHEAD)
            return size == 0;
        const unsigned char *head = m_mdb->pg_buf + start;
        const std::uint32_t word = std::uint32_t(mdb_get_int32(const_cast<unsigned char *>(head), 0));
        std::uint32_t pgRow = std::uint32_t(mdb_get_int32(const_cast<unsigned char *>(head), 4));
        const std::uint32_t inRowOrOnePart = word & 0x3FFFFFFFu; // the length, for those two forms
        if (word & 0x80000000u) {
            // The text right behind the head: exactly the length the head gives.
            if (inRowOrOnePart != std::uint32_t(size - MDB_MEMO_OVERHEAD))
                return false;
            appendText(head + MDB_MEMO_OVERHEAD, std::size_t(size - MDB_MEMO_OVERHEAD), out);
            return true;
        }
        const unsigned char *row = nullptr;
        std::size_t len = 0;
        if (word & 0x40000000u) {
            if (!longValueRow(pgRow, row, len) || len < inRowOrOnePart)
                return false;
            appendText(row, inRowOrOnePart, out);
            return true;
        }
        m_raw.clear();
        if ((word & 0xFF000000u) == 0) {
            const std::uint64_t memoLen = word;
            if (memoLen > m_fileSize * 2)
                return false;
            // A damaged chain could point back at itself; no file holds more parts than pages.
            std::uint64_t parts = 0;
            const std::uint64_t maxParts = m_fileSize / 512 + 2;
            while (pgRow != 0 && m_raw.size() < memoLen) {
                if (++parts > maxParts)
                    return false;
                if (!longValueRow(pgRow, row, len) || len < 4)
                    return false;
                const std::size_t take = std::min<std::uint64_t>(len - 4, memoLen - m_raw.size());
                m_raw.append(reinterpret_cast<const char *>(row) + 4, take);
                pgRow = std::uint32_t(row[0]) | (std::uint32_t(row[1]) << 8) | (std::uint32_t(row[2]) << 16) |
                        (std::uint32_t(row[3]) << 24);
            }
            if (m_raw.size() < memoLen)
                return false;
        } else {
            return false;
        }
        appendText(reinterpret_cast<const unsigned char *>(m_raw.data()), m_raw.size(), out);
        return true;
    }

    // Row `pgRow & 0xFF` of page `pgRow >> 8`, straight from the mapping.
    bool longValueRow(std::uint32_t pgRow, const unsigned char *&row, std::size_t &len) const
    {
        const std::size_t pgSize = std::size_t(m_mdb->fmt->pg_size);
        const std::size_t page = pgRow >> 8;
        const unsigned r = pgRow & 0xFF;
        if (page == 0 || (page + 1) * pgSize > m_file.size())
            return false;
        const unsigned char *pg = m_file.data() + page * pgSize;
        const std::size_t rco = m_mdb->fmt->row_count_offset;
        const unsigned rows = unsigned(pg[rco]) | (unsigned(pg[rco + 1]) << 8);
        if (r >= rows || rco + 4 + 2 * r > pgSize)
            return false;
        auto int16At = [pg](std::size_t at) { return std::size_t(pg[at]) | (std::size_t(pg[at + 1]) << 8); };
        const std::size_t start = int16At(rco + 2 + 2 * r) & 0x1FFF;
        const std::size_t end = r == 0 ? pgSize : int16At(rco + 2 * r) & 0x1FFF;
        if (start > end || end > pgSize)
            return false;
        row = pg + start;
        len = end - start;
        return true;
    }

    MdbHandle *m_mdb;
    const MappedFile &m_file;
    std::uint64_t m_fileSize;
    std::string m_raw;
    std::vector<char> m_convert;
};

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
    case MDB_BOOL: return 0; // held in the row's null mask
    case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
    case MDB_COMPLEX: return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME: return 8;
    case MDB_REPID: return 16;
    case MDB_NUMERIC: return 17;
    default: return -1;
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
// damaged file may crash it: call it in the reading child unless told otherwise.
// progress is called now and then while the pages are read.
ReadFailure readTable(int fd, StoreTableBuilder &out, void (*progress)() = nullptr)
{
    const MappedFile file(fd);
    if (!file.data())
        return {NotADatabase, {}};
    const std::uint64_t fileSize = file.size();
    MdbHandle *mdb = mdb_open_buffer(file.data(), file.size(), MDB_NOFLAGS);
    if (!mdb)
        return {NotADatabase, {}};
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
        return {Damaged, {}};
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        return {NotADatabase, {}};
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(mdb, "maindata");
    if (!entry || entry->object_type != MDB_TABLE)
        return {NoTable, {}};
    MdbTableDef *table = mdb_read_table(entry);
    if (!table)
        return {Damaged, {}};
    closer.table = table;
    if (!mdb_read_columns(table))
        return {Damaged, {}};

    if (!definitionHoldsTogether(mdb, table))
        return {Damaged, {}};
    const char *names[] = {"subject", "htm", "content", "date"};
    MdbColumn *cols[4];
    for (int i = 0; i < 4; ++i) {
        cols[i] = findColumn(table, names[i]);
        if (!cols[i])
            return {MissingColumn, names[i]};
    }
    const int dateType = cols[3]->col_type;
    if (!isNumeric(dateType))
        return {UnsupportedColumn, names[3]};
    for (int i = 0; i < 3; ++i) {
        if (cols[i]->col_type != MDB_TEXT && cols[i]->col_type != MDB_MEMO)
            return {UnsupportedColumn, names[i]};
    }
    // No row is smaller than its entry in the page's row list.
    if (table->num_rows > fileSize / 2)
        return {Damaged, {}};

    TableReader reader(mdb, file);
    TextColumnBuilder *texts[3] = {&out.subject, &out.htm, &out.content};
    for (auto *t : texts) {
        t->ends.reserve(table->num_rows);
        t->isNull.reserve(table->num_rows);
    }
    out.date.reserve(table->num_rows);
    out.dateNull.reserve(table->num_rows);

    std::vector<MdbField> fields(table->num_cols + 1);
    const int pgSize = int(mdb->fmt->pg_size);
    // A damaged page list could run in circles; a file holds no more pages than this.
    std::uint64_t pages = 0;
    const std::uint64_t maxPages = fileSize / std::uint64_t(pgSize) + 1;
    mdb_rewind_table(table);
    while (mdb_read_next_dpg(table)) {
        if (++pages > maxPages)
            return {Damaged, {}};
        if (progress && pages % 64 == 0)
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
                    return {Damaged, {}};
                auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, colnum));
                for (int c = 0; c < 4; ++c)
                    if (col == cols[c])
                        found[c] = &fields[i];
            }
            // Each value lies inside its row, fixed-size ones before the varying-size ones,
            // and no text is longer than its column allows.
            const std::optional<RowLayout> layout = rowLayout(mdb, rowStart, rowSize);
            if (!layout)
                return {Damaged, {}};
            for (int c = 0; c < 4; ++c) {
                const MdbField *f = found[c];
                // libmdb reads a value the row has no place for as null: for these columns
                // that is a definition pointing past the row.
                if (!f || (!cols[c]->is_fixed && cols[c]->var_col_num >= layout->varCount))
                    return {Damaged, {}};
                if (f->is_null)
                    continue;
                const int begin = f->start - rowStart;
                const int end = begin + f->siz;
                if (begin < 0 || f->siz < 0 || end > int(rowSize) || (cols[c]->is_fixed && end > layout->fixedEnd) ||
                    (cols[c]->col_type == MDB_TEXT && f->siz > cols[c]->col_size))
                    return {Damaged, {}};
            }
            for (int c = 0; c < 3; ++c) {
                TextColumnBuilder &t = *texts[c];
                const MdbField *f = found[c];
                const bool null = !f || f->is_null;
                const std::size_t begin = t.bytes.size();
                if (!null && !reader.appendValue(cols[c], f->start, f->siz, t.bytes))
                    return {Damaged, {}};
                if (c == 2 && out.contentFolded)
                    foldContent(t.bytes, begin);
                t.endValue(null);
            }
            const MdbField *f = found[3];
            double d = 0;
            bool null = !f || f->is_null;
            if (!null) {
                if (f->start < 0 || f->start + numberSize(dateType) > pgSize)
                    return {Damaged, {}};
                d = numberAt(mdb->pg_buf, f->start, dateType);
                null = std::isnan(d); // the engine turns NaN into NULL anyway
            }
            out.addDate(d, null);
        }
    }
    // Pages that could not be read end the scan early: the table's own count tells.
    if (out.rowCount() != table->num_rows)
        return {Damaged, {}};
    return {ReadOk, {}};
}

QString failureMessage(const ReadFailure &failure, const QString &path)
{
    const QString column = QString::fromStdString(failure.detail);
    switch (failure.status) {
    case ReadOk:
        break;
    case NotADatabase:
        return QStringLiteral("無法開啟資料庫檔案「%1」：這不是 Access 資料庫，或檔案已損毀。").arg(path);
    case NoTable:
        return QStringLiteral("資料庫檔案「%1」中沒有資料表 maindata。").arg(path);
    case MissingColumn:
        return QStringLiteral("資料庫檔案「%1」的資料表 maindata 缺少欄位 %2。").arg(path, column);
    case UnsupportedColumn:
        return QStringLiteral("資料庫檔案「%1」的資料表 maindata 中，欄位 %2 的資料型別無法使用。").arg(path, column);
    case Damaged:
        break;
    }
    return QStringLiteral("資料庫檔案「%1」已損毀，無法讀取資料表 maindata。").arg(path);
}

// What stands in the way of opening the file, by the system's error number.
QString openFailureMessage(const QString &path, int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("找不到資料庫檔案「%1」。Morvessa 只讀取它被啟動時所在的資料夾：要開啟自己的資料集，"
                              "請執行 morvessa-add-collection 資料夾，再從選單開啟它；"
                              "或把程式的連結放進含 jst.mdb 的資料夾，從那裡啟動。")
            .arg(path);
    case EACCES:
    case EPERM:
        return QStringLiteral("沒有權限讀取資料庫檔案「%1」：檔案或它所在的資料夾不允許這個使用者讀取。").arg(path);
    case EISDIR:
        return QStringLiteral("資料庫檔案「%1」是一個資料夾，不是檔案。").arg(path);
    case ELOOP:
        return QStringLiteral("無法開啟資料庫檔案「%1」：路徑中的連結繞成了圈。").arg(path);
    case ENAMETOOLONG:
        return QStringLiteral("無法開啟資料庫檔案「%1」：路徑太長。").arg(path);
    default:
        return QStringLiteral("無法開啟資料庫檔案「%1」（系統錯誤 %2：%3）。")
            .arg(path)
            .arg(error)
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

QString notAFileMessage(const QString &path)
{
    return QStringLiteral("資料庫檔案「%1」不是一般檔案。").arg(path);
}

QString stalledMessage(const QString &path, int seconds)
{
    return QStringLiteral("資料庫檔案「%1」無法在時限內讀取：讀取已有 %2 秒沒有進展，因此停止。").arg(path).arg(seconds);
}

// ---- Transfer between the reading child and this process ----------------------------
//
// The child writes its answer into a memory file this process created before the fork:
// a header (status, row count, where each column lies), then every column's array.
// This process maps the file and uses the arrays where they lie: nothing is copied.
// A byte on a pipe says the child is done; a pipe that closes without it means it died.

constexpr char kMagic[8] = {'M', 'V', 'S', 'T', 'O', 'R', 'E', '2'};
constexpr std::size_t kDetailMax = 256;
constexpr char kDone = 'K';
constexpr char kProgress = 'P';

enum Block {
    SubjectBytes,
    SubjectEnds,
    SubjectNull,
    HtmBytes,
    HtmEnds,
    HtmNull,
    ContentBytes,
    ContentEnds,
    ContentNull,
    DateValues,
    DateNull,
    BlockCount
};

struct Header {
    char magic[8];
    std::uint64_t status;
    std::uint64_t detailSize;
    char detail[kDetailMax];
    std::uint64_t rows;
    struct Place {
        std::uint64_t offset;
        std::uint64_t size;
    } blocks[BlockCount];
};
constexpr std::size_t kHeaderSize = 512;
static_assert(sizeof(Header) <= kHeaderSize);

bool writeAt(int fd, const void *data, std::size_t len, std::uint64_t offset)
{
    const char *p = static_cast<const char *>(data);
    while (len > 0) {
        const ssize_t n = ::pwrite(fd, p, len, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        len -= std::size_t(n);
        offset += std::uint64_t(n);
    }
    return true;
}

// Far more than any file of this size can hold: beyond it the child is running away.
std::uint64_t answerLimit(std::uint64_t fileSize)
{
    return fileSize * 16 + (1u << 20);
}

void (*g_childHook)() = nullptr;
std::chrono::milliseconds g_stallLimit{10000};
int g_progressFd = -1;

// A progress byte at most every tenth of a second: the waiting process counts time from it.
void reportProgress()
{
    static std::chrono::steady_clock::time_point last;
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::milliseconds(100))
        return;
    last = now;
    [[maybe_unused]] const ssize_t n = ::write(g_progressFd, &kProgress, 1);
}

[[noreturn]] void runChild(int answerFd, int doneFd, int dbFd, std::uint64_t fileSize, ContentForm form)
{
    // Warnings libmdb prints about odd pages are no concern of the user, and its
    // settings from the environment (debug output, text encoding) do not apply here.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
    }
    ::unsetenv("MDBOPTS");
    ::unsetenv("MDBICONV");
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::signal(SIGPIPE, SIG_DFL);
    // A crash here is expected on some damaged files: no core dump of a copy of the program.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (g_childHook)
        g_childHook();

    StoreTableBuilder table;
    table.contentFolded = form == ContentForm::Folded;
    g_progressFd = doneFd;
    ReadFailure failure = readTable(dbFd, table, reportProgress);
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    bool ok = true;
    if (failure.status == ReadOk) {
        const std::pair<const void *, std::size_t> blocks[BlockCount] = {
            {table.subject.bytes.data(), table.subject.bytes.size()},
            {table.subject.ends.data(), table.subject.ends.size() * 8},
            {table.subject.isNull.data(), table.subject.isNull.size()},
            {table.htm.bytes.data(), table.htm.bytes.size()},
            {table.htm.ends.data(), table.htm.ends.size() * 8},
            {table.htm.isNull.data(), table.htm.isNull.size()},
            {table.content.bytes.data(), table.content.bytes.size()},
            {table.content.ends.data(), table.content.ends.size() * 8},
            {table.content.isNull.data(), table.content.isNull.size()},
            {table.date.data(), table.date.size() * 8},
            {table.dateNull.data(), table.dateNull.size()},
        };
        std::uint64_t at = kHeaderSize;
        for (int b = 0; b < BlockCount; ++b) {
            header.blocks[b] = {at, blocks[b].second};
            at = (at + blocks[b].second + 7) / 8 * 8;
        }
        if (at > answerLimit(fileSize)) {
            failure = {Damaged, {}};
        } else {
            header.rows = table.rowCount();
            for (int b = 0; b < BlockCount && ok; ++b) {
                ok = writeAt(answerFd, blocks[b].first, blocks[b].second, header.blocks[b].offset);
                reportProgress();
            }
        }
    }
    header.status = failure.status;
    header.detailSize = std::min(failure.detail.size(), kDetailMax);
    std::memcpy(header.detail, failure.detail.data(), header.detailSize);
    char headerBytes[kHeaderSize] = {};
    std::memcpy(headerBytes, &header, sizeof header);
    ok = ok && writeAt(answerFd, headerBytes, sizeof headerBytes, 0) && ::write(doneFd, &kDone, 1) == 1;
    ::_exit(ok ? 0 : 3);
}

enum class Wait { Done, Died, Stalled };

// Waits for the child's done byte. The child sends progress bytes as it reads, so a large
// file may take as long as it needs; only a child silent for the stall limit is stuck.
Wait waitForDone(int fd, std::chrono::milliseconds stallLimit)
{
    pollfd pfd{fd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&pfd, 1, int(stallLimit.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return Wait::Stalled;
        if (ready < 0)
            return Wait::Died;
        char bytes[64];
        const ssize_t n = ::read(fd, bytes, sizeof bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Wait::Died;
        if (std::memchr(bytes, kDone, std::size_t(n)))
            return Wait::Done;
    }
}

template <typename T> std::span<const T> arrayAt(const unsigned char *at, std::uint64_t bytes)
{
    return std::span<const T>(reinterpret_cast<const T *>(at), bytes / sizeof(T));
}

bool validEnds(std::span<const std::uint64_t> ends, std::uint64_t bytes)
{
    std::uint64_t last = 0;
    for (const std::uint64_t e : ends) {
        if (e < last)
            return false;
        last = e;
    }
    return last == bytes;
}

// The table laid out in the mapped answer, or null when the answer does not add up.
std::shared_ptr<const StoreTable> tableFromAnswer(std::shared_ptr<const void> mapping, std::size_t size,
                                                  ContentForm form, ReadFailure &failure)
{
    const auto *base = static_cast<const unsigned char *>(mapping.get());
    if (size < kHeaderSize)
        return nullptr;
    Header header;
    std::memcpy(&header, base, sizeof header);
    if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.detailSize > kDetailMax ||
        header.status > Damaged)
        return nullptr;
    failure.status = ReadStatus(header.status);
    failure.detail.assign(header.detail, header.detailSize);
    if (failure.status != ReadOk)
        return nullptr;

    const std::uint64_t rows = header.rows;
    const std::uint64_t expected[BlockCount] = {0, rows * 8, rows, 0, rows * 8, rows, 0, rows * 8, rows, rows * 8, rows};
    for (int b = 0; b < BlockCount; ++b) {
        const auto &block = header.blocks[b];
        const bool sized = (b == SubjectBytes || b == HtmBytes || b == ContentBytes) || block.size == expected[b];
        if (!sized || rows > size || block.offset % 8 != 0 || block.offset < kHeaderSize || block.offset > size ||
            block.size > size - block.offset)
            return nullptr;
    }
    auto column = [&](Block b) {
        const auto place = [&](Block k) { return base + header.blocks[k].offset; };
        return TextColumn{
            std::string_view(reinterpret_cast<const char *>(place(b)), header.blocks[b].size),
            arrayAt<std::uint64_t>(place(Block(b + 1)), header.blocks[b + 1].size),
            arrayAt<std::uint8_t>(place(Block(b + 2)), header.blocks[b + 2].size)};
    };
    auto table = std::make_shared<StoreTable>();
    table->subject = column(SubjectBytes);
    table->htm = column(HtmBytes);
    table->content = column(ContentBytes);
    table->contentFolded = form == ContentForm::Folded;
    table->date = arrayAt<double>(base + header.blocks[DateValues].offset, header.blocks[DateValues].size);
    table->dateNull = arrayAt<std::uint8_t>(base + header.blocks[DateNull].offset, header.blocks[DateNull].size);
    for (const TextColumn *c : {&table->subject, &table->htm, &table->content})
        if (!validEnds(c->ends, c->bytes.size()))
            return nullptr;
    table->storage = std::move(mapping);
    return table;
}

struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Opens the database file for reading; throws DbError saying what stands in the way.
// The file is opened here, in this process, so that its permissions decide.
FdCloser openDatabase(const QString &path, std::uint64_t &size)
{
    const QByteArray native = path.toLocal8Bit();
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        throw DbError(openFailureMessage(path, errno));
    if (S_ISDIR(st.st_mode))
        throw DbError(openFailureMessage(path, EISDIR));
    if (!S_ISREG(st.st_mode))
        throw DbError(notAFileMessage(path));
    FdCloser file{::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0)
        throw DbError(openFailureMessage(path, errno));
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw DbError(notAFileMessage(path));
    size = std::uint64_t(st.st_size);
    return file;
}

} // namespace

std::string jet4TextToUtf8(std::string_view stored)
{
    std::string out;
    appendJet4Text(reinterpret_cast<const unsigned char *>(stored.data()), stored.size(), out);
    return out;
}

void setReaderChildHook(void (*hook)())
{
    g_childHook = hook;
}

void setReaderStallLimit(std::chrono::milliseconds limit)
{
    g_stallLimit = limit;
}

std::shared_ptr<const StoreTable> readMaindataInProcess(const QString &path, ContentForm form)
{
    std::uint64_t size = 0;
    const FdCloser file = openDatabase(path, size);
    StoreTableBuilder table;
    table.contentFolded = form == ContentForm::Folded;
    const ReadFailure failure = readTable(file.fd, table);
    if (failure.status != ReadOk)
        throw DbError(failureMessage(failure, path));
    return std::move(table).finish();
}

std::shared_ptr<const StoreTable> readMaindata(const QString &path, ContentForm form)
{
    std::uint64_t size = 0;
    const FdCloser file = openDatabase(path, size);
    const DbError damaged(failureMessage({Damaged, {}}, path));

    const FdCloser answer{::memfd_create("morvessa-maindata", MFD_CLOEXEC)};
    int fds[2];
    if (answer.fd < 0 || ::pipe2(fds, O_CLOEXEC) != 0)
        throw damaged;
    FdCloser doneRead{fds[0]};
    FdCloser doneWrite{fds[1]};
    const pid_t pid = ::fork();
    if (pid < 0)
        throw damaged;
    if (pid == 0) {
        ::close(fds[0]);
        runChild(answer.fd, fds[1], file.fd, size, form);
    }
    ::close(doneWrite.fd);
    doneWrite.fd = -1;

    const Wait wait = waitForDone(doneRead.fd, g_stallLimit);
    if (wait != Wait::Done)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (wait == Wait::Stalled)
        throw DbError(stalledMessage(path, int((g_stallLimit.count() + 999) / 1000)));
    if (wait != Wait::Done || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw damaged;

    struct stat st {};
    if (::fstat(answer.fd, &st) != 0 || st.st_size < off_t(kHeaderSize) ||
        std::uint64_t(st.st_size) > answerLimit(size))
        throw damaged;
    const std::size_t mapped = std::size_t(st.st_size);
    void *p = ::mmap(nullptr, mapped, PROT_READ, MAP_SHARED, answer.fd, 0);
    if (p == MAP_FAILED)
        throw damaged;
    std::shared_ptr<const void> mapping(p, [mapped](const void *q) { ::munmap(const_cast<void *>(q), mapped); });
    ReadFailure failure{Damaged, {}};
    auto table = tableFromAnswer(std::move(mapping), mapped, form, failure);
    if (failure.status != ReadOk)
        throw DbError(failureMessage(failure, path));
    if (!table)
        throw damaged;
    return table;
}

} // namespace morvessa
