#include "store/jetvalues.h"

#include "store/jettext.h"

#include <algorithm>
#include <sys/mman.h>
#include <sys/stat.h>

namespace morvessa {

MappedDatabase::MappedDatabase(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        void *p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (p != MAP_FAILED) {
            m_data = static_cast<unsigned char *>(p);
            m_size = std::size_t(st.st_size);
            // Long values lie all over the file: faulting their pages in one by one, as
            // they are met, cost more than mapping the whole file in one go.
#ifdef MADV_POPULATE_READ
            if (::madvise(p, m_size, MADV_POPULATE_READ) != 0)
#endif
                ::madvise(p, m_size, MADV_WILLNEED);
        }
    }
}

MappedDatabase::~MappedDatabase()
{
    if (m_data)
        ::munmap(m_data, m_size);
}

bool ValueReader::appendValue(const MdbColumn *col, int start, int size, std::string &out)
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

void ValueReader::appendText(const unsigned char *src, std::size_t len, std::string &out)
{
    if (m_mdb->f->jet_version != MDB_VER_JET3) {
        appendJet4Text(src, len, out);
        return;
    }
    // Jet 3 stores text in the database's code page; libmdb knows it.
    m_convert.resize(len * 4 + 16);
    const int n =
        mdb_unicode2ascii(m_mdb, reinterpret_cast<const char *>(src), len, m_convert.data(), m_convert.size());
    if (n > 0)
        out.append(m_convert.data(), std::size_t(n));
}

// A memo value: 12 bytes in the row (length with flags, page and row of the first
// part), the text either right behind them or in a chain of long-value rows.
bool ValueReader::appendMemo(int start, int size, std::string &out)
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
        if (memoLen > m_file.size() * 2)
            return false;
        // A damaged chain could point back at itself; no file holds more parts than pages.
        std::uint64_t parts = 0;
        const std::uint64_t maxParts = m_file.size() / 512 + 2;
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
bool ValueReader::longValueRow(std::uint32_t pgRow, const unsigned char *&row, std::size_t &len) const
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

} // namespace morvessa
