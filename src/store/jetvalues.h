#pragma once
// The values of a Jet table's rows as text: text columns, memos (in the row, in one
// long-value row or in a chain of them) and other types through libmdb. A damaged file
// gives false, never a read outside the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

// After the standard headers: glib, which it includes inside extern "C", includes some in C++.
#include <mdbtools.h>

namespace morvessa {

// The database file mapped into memory (from an open descriptor); libmdb reads its pages
// from there.
class MappedDatabase {
public:
    explicit MappedDatabase(int fd);
    ~MappedDatabase();
    MappedDatabase(const MappedDatabase &) = delete;
    MappedDatabase &operator=(const MappedDatabase &) = delete;

    unsigned char *data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    unsigned char *m_data = nullptr;
    std::size_t m_size = 0;
};

class ValueReader {
public:
    ValueReader(MdbHandle *mdb, const MappedDatabase &file) : m_mdb(mdb), m_file(file) {}

    // Appends the text of the value at [start, start+size) of the current page; false
    // when the value does not add up.
    bool appendValue(const MdbColumn *col, int start, int size, std::string &out);

private:
    void appendText(const unsigned char *src, std::size_t len, std::string &out);
    bool appendMemo(int start, int size, std::string &out);
    bool longValueRow(std::uint32_t pgRow, const unsigned char *&row, std::size_t &len) const;

    MdbHandle *m_mdb;
    const MappedDatabase &m_file;
    std::string m_raw;
    std::vector<char> m_convert;
};

// Columns of numbers (the date among them), read as a double.
bool isNumeric(int type);
double numberAt(const unsigned char *page, int start, int type);
int numberSize(int type);
// The size a column of a type always has in the row, or -1 for types of varying size.
int fixedSizeOf(int type);

} // namespace morvessa
