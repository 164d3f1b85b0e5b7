#include "app/mdbreader.h"

#include "app/recordstore.h"

#include <mdbtools.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
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
    auto put = [&d](std::uint32_t cp) {
        if (cp < 0x80) {
            *d++ = static_cast<unsigned char>(cp);
        } else if (cp < 0x800) {
            *d++ = static_cast<unsigned char>(0xC0 | (cp >> 6));
            *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *d++ = static_cast<unsigned char>(0xE0 | (cp >> 12));
            *d++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        } else {
            *d++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
            *d++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            *d++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            *d++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        }
    };
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
    explicit MappedFile(const char *path)
    {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_size > 0) {
            void *p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED) {
                m_data = static_cast<unsigned char *>(p);
                m_size = std::size_t(st.st_size);
                ::madvise(p, m_size, MADV_WILLNEED);
            }
        }
        ::close(fd);
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
        if (word & 0x80000000u) {
            appendText(head + MDB_MEMO_OVERHEAD, std::size_t(size - MDB_MEMO_OVERHEAD), out);
            return true;
        }
        const unsigned char *row = nullptr;
        std::size_t len = 0;
        if (word & 0x40000000u) {
            if (!longValueRow(pgRow, row, len))
                return false;
            appendText(row, len, out);
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

// Fills `out` from the file; on failure returns what went wrong. Uses libmdb, so a
// damaged file may crash it: call it in the reading child unless told otherwise.
ReadFailure readTable(const char *path, StoreTable &out)
{
    const MappedFile file(path);
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
        if (cols[i]->col_type == MDB_OLE || cols[i]->col_type == MDB_BINARY || cols[i]->col_type == MDB_BOOL)
            return {UnsupportedColumn, names[i]};
    }

    TableReader reader(mdb, file);
    TextColumn *texts[3] = {&out.subject, &out.htm, &out.content};
    for (auto *t : texts)
        t->reserve(table->num_rows);
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
            for (int c = 0; c < 3; ++c) {
                TextColumn &t = *texts[c];
                const MdbField *f = found[c];
                if (!f || f->is_null) {
                    t.append({}, true);
                    continue;
                }
                if (!reader.appendValue(cols[c], f->start, f->siz, t.bytes))
                    return {Damaged, {}};
                t.ends.push_back(t.bytes.size());
                t.isNull.push_back(0);
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
            out.date.push_back(null ? 0 : d);
            out.dateNull.push_back(null ? 1 : 0);
        }
    }
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

QString missingFileMessage(const QString &path)
{
    return QStringLiteral("找不到資料庫檔案「%1」。").arg(path);
}

// ---- Transfer between the reading child and this process ----------------------------
//
// The child sends a fixed header, then either one failure record or every column as a
// block (kind, byte length, bytes) and an end record with the row count. Blocks are the
// columns' own arrays, so this side reads them straight into place.

constexpr char kMagic[8] = {'M', 'V', 'S', 'T', 'O', 'R', 'E', '1'};

enum BlockKind : std::uint8_t {
    FailureRecord = 'F',
    EndRecord = 'Z',
    SubjectBytes = 1,
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
    BlockKindCount
};

class PipeWriter {
public:
    explicit PipeWriter(int fd) : m_fd(fd) {}
    bool write(const void *data, std::size_t len)
    {
        const char *p = static_cast<const char *>(data);
        while (len > 0) {
            const ssize_t n = ::write(m_fd, p, len);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            len -= std::size_t(n);
        }
        return true;
    }
    template <typename T> bool value(T v) { return write(&v, sizeof v); }
    bool block(BlockKind kind, const void *data, std::size_t len)
    {
        return value<std::uint8_t>(kind) && value<std::uint64_t>(len) && write(data, len);
    }
    template <typename T> bool block(BlockKind kind, const std::vector<T> &v)
    {
        return block(kind, v.data(), v.size() * sizeof(T));
    }

private:
    int m_fd;
};

[[noreturn]] void runChild(int fd, const char *path)
{
    // Warnings libmdb prints about odd pages are no concern of the user.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0)
        ::dup2(devNull, STDERR_FILENO);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::signal(SIGPIPE, SIG_DFL);

    StoreTable table;
    const ReadFailure failure = readTable(path, table);
    PipeWriter out(fd);
    bool ok = out.write(kMagic, sizeof kMagic);
    if (failure.status != ReadOk) {
        ok = ok && out.value<std::uint8_t>(FailureRecord) && out.value<std::uint8_t>(failure.status) &&
             out.value<std::uint64_t>(failure.detail.size()) &&
             out.write(failure.detail.data(), failure.detail.size());
        ::_exit(ok ? 0 : 3);
    }
    ok = ok && out.block(SubjectBytes, table.subject.bytes.data(), table.subject.bytes.size()) &&
         out.block(SubjectEnds, table.subject.ends) && out.block(SubjectNull, table.subject.isNull) &&
         out.block(HtmBytes, table.htm.bytes.data(), table.htm.bytes.size()) &&
         out.block(HtmEnds, table.htm.ends) && out.block(HtmNull, table.htm.isNull) &&
         out.block(ContentBytes, table.content.bytes.data(), table.content.bytes.size()) &&
         out.block(ContentEnds, table.content.ends) && out.block(ContentNull, table.content.isNull) &&
         out.block(DateValues, table.date) && out.block(DateNull, table.dateNull) &&
         out.value<std::uint8_t>(EndRecord) && out.value<std::uint64_t>(table.rowCount());
    ::_exit(ok ? 0 : 3);
}

class PipeReader {
public:
    PipeReader(int fd, int idleTimeoutMs) : m_fd(fd), m_idleTimeoutMs(idleTimeoutMs) {}
    // False on end of data, an error or a child that has gone quiet for too long.
    bool read(void *data, std::size_t len)
    {
        char *p = static_cast<char *>(data);
        while (len > 0) {
            pollfd pfd{m_fd, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, m_idleTimeoutMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return false;
            const ssize_t n = ::read(m_fd, p, len);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            len -= std::size_t(n);
        }
        return true;
    }
    template <typename T> bool value(T &v) { return read(&v, sizeof v); }

private:
    int m_fd;
    int m_idleTimeoutMs;
};

bool validText(const TextColumn &t, std::size_t rows)
{
    if (t.ends.size() != rows || t.isNull.size() != rows)
        return false;
    std::uint64_t last = 0;
    for (std::uint64_t e : t.ends) {
        if (e < last)
            return false;
        last = e;
    }
    return last == t.bytes.size();
}

// Reads the child's answer. Returns false when it does not add up.
bool receive(PipeReader &in, std::uint64_t limit, StoreTable &table, ReadFailure &failure)
{
    char magic[sizeof kMagic];
    if (!in.read(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof magic) != 0)
        return false;
    bool seen[BlockKindCount] = {};
    std::uint64_t total = 0;
    for (;;) {
        std::uint8_t kind = 0;
        if (!in.value(kind))
            return false;
        if (kind == FailureRecord) {
            std::uint8_t status = 0;
            std::uint64_t len = 0;
            if (!in.value(status) || !in.value(len) || status == ReadOk || status > Damaged || len > 256)
                return false;
            failure.status = ReadStatus(status);
            failure.detail.resize(len);
            return in.read(failure.detail.data(), len);
        }
        if (kind == EndRecord) {
            std::uint64_t rows = 0;
            if (!in.value(rows))
                return false;
            for (int k = SubjectBytes; k < BlockKindCount; ++k)
                if (!seen[k])
                    return false;
            failure.status = ReadOk;
            return validText(table.subject, rows) && validText(table.htm, rows) &&
                   validText(table.content, rows) && table.date.size() == rows && table.dateNull.size() == rows;
        }
        if (kind < SubjectBytes || kind >= BlockKindCount || seen[kind])
            return false;
        seen[kind] = true;
        std::uint64_t len = 0;
        if (!in.value(len))
            return false;
        total += len;
        if (len > limit || total > limit)
            return false;
        auto fill = [&](auto &v) {
            using T = typename std::decay_t<decltype(v)>::value_type;
            if (len % sizeof(T) != 0)
                return false;
            v.resize(len / sizeof(T));
            return in.read(v.data(), len);
        };
        bool ok = false;
        switch (kind) {
        case SubjectBytes: ok = fill(table.subject.bytes); break;
        case SubjectEnds: ok = fill(table.subject.ends); break;
        case SubjectNull: ok = fill(table.subject.isNull); break;
        case HtmBytes: ok = fill(table.htm.bytes); break;
        case HtmEnds: ok = fill(table.htm.ends); break;
        case HtmNull: ok = fill(table.htm.isNull); break;
        case ContentBytes: ok = fill(table.content.bytes); break;
        case ContentEnds: ok = fill(table.content.ends); break;
        case ContentNull: ok = fill(table.content.isNull); break;
        case DateValues: ok = fill(table.date); break;
        case DateNull: ok = fill(table.dateNull); break;
        }
        if (!ok)
            return false;
    }
}

std::uint64_t checkedFileSize(const QString &path, const QByteArray &native)
{
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        throw DbError(missingFileMessage(path));
    return std::uint64_t(st.st_size);
}

} // namespace

std::shared_ptr<const StoreTable> readMaindataInProcess(const QString &path)
{
    const QByteArray native = path.toLocal8Bit();
    checkedFileSize(path, native);
    auto table = std::make_shared<StoreTable>();
    const ReadFailure failure = readTable(native.constData(), *table);
    if (failure.status != ReadOk)
        throw DbError(failureMessage(failure, path));
    return table;
}

std::shared_ptr<const StoreTable> readMaindata(const QString &path)
{
    const QByteArray native = path.toLocal8Bit();
    const std::uint64_t size = checkedFileSize(path, native);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw DbError(failureMessage({Damaged, {}}, path));
    ::fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw DbError(failureMessage({Damaged, {}}, path));
    }
    if (pid == 0) {
        ::close(fds[0]);
        runChild(fds[1], native.constData());
    }
    ::close(fds[1]);

    auto table = std::make_shared<StoreTable>();
    ReadFailure failure{Damaged, {}};
    // Far more than any file of this size can hold: beyond it the child is running away.
    const std::uint64_t limit = size * 16 + (1u << 20);
    // A child that sends nothing for this long is stuck (a large file takes longer to read).
    const int idleMs = int(std::min<std::uint64_t>(30000 + size / (4u << 20) * 1000, 600000));
    PipeReader in(fds[0], idleMs);
    const bool received = receive(in, limit, *table, failure);
    ::close(fds[0]);
    if (!received)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const bool childOk = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!received || !childOk)
        throw DbError(failureMessage({Damaged, {}}, path));
    if (failure.status != ReadOk)
        throw DbError(failureMessage(failure, path));
    return table;
}

} // namespace morvessa
