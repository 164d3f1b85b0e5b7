#pragma once
// What the engine is measured against: the rows read plainly with libmdb, SQLite's own
// like over them in memory, ripgrep over a text export, and one memmem pass.
#include <cstddef>
#include <string>
#include <vector>

struct sqlite3;

namespace bench {

struct PlainRow {
    std::string subject, htm, content, date; // UTF-8; date as sortable text
    bool contentNull = false, dateNull = false;
};

// Every row of maindata in file order. Throws std::runtime_error.
std::vector<PlainRow> loadPlainRows(const std::string &mdbPath);

// A plain in-memory SQLite table maindata(subject, htm, content, date).
class PlainTable {
public:
    explicit PlainTable(const std::vector<PlainRow> &rows);
    ~PlainTable();
    PlainTable(const PlainTable &) = delete;
    PlainTable &operator=(const PlainTable &) = delete;
    // Runs the statement with SQLite's built-in like, reading every row; returns the row count.
    long run(const std::string &sql);

private:
    sqlite3 *m_db = nullptr;
};

// Runs a program with its output thrown away; returns the wall time in ms, or -1 when
// it could not start or failed (exit status above 1: ripgrep exits 1 when nothing matched).
double timeProcess(const std::vector<std::string> &argv);

// Number of occurrences of needle in haystack, counted with memmem.
long memmemCount(const std::string &haystack, const std::string &needle);

} // namespace bench
