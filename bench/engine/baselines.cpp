#include "baselines.h"

#include <mdbtools.h>
#include <sqlite3.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bench {

std::vector<PlainRow> loadPlainRows(const std::string &mdbPath)
{
    MdbHandle *mdb = mdb_open(mdbPath.c_str(), MDB_NOFLAGS);
    if (!mdb)
        throw std::runtime_error("cannot open " + mdbPath);
    const size_t bindSize = 8u << 20; // memo fields are read whole
    mdb_set_bind_size(mdb, bindSize);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    MdbTableDef *table = mdb_read_table_by_name(mdb, const_cast<gchar *>("maindata"), MDB_TABLE);
    if (!table) {
        mdb_close(mdb);
        throw std::runtime_error("no table maindata in " + mdbPath);
    }
    mdb_read_columns(table);
    mdb_rewind_table(table);

    const char *names[4] = {"subject", "htm", "content", "date"};
    std::vector<std::unique_ptr<char[]>> buffers;
    int lengths[4] = {0, 0, 0, 0};
    int bound[4] = {-1, -1, -1, -1};
    for (unsigned i = 0; i < table->num_cols; ++i) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        for (int k = 0; k < 4; ++k) {
            if (g_ascii_strcasecmp(col->name, names[k]) == 0) {
                buffers.emplace_back(new char[bindSize + 1]);
                bound[k] = int(buffers.size() - 1);
                mdb_bind_column(table, int(i) + 1, buffers.back().get(), &lengths[k]);
            }
        }
    }
    std::vector<PlainRow> rows;
    while (mdb_fetch_row(table)) {
        PlainRow r;
        std::string *fields[4] = {&r.subject, &r.htm, &r.content, &r.date};
        for (int k = 0; k < 4; ++k)
            if (bound[k] >= 0)
                fields[k]->assign(buffers[bound[k]].get(), size_t(lengths[k]));
        // Good enough for a baseline: libmdb reports NULL as an empty value.
        r.contentNull = bound[2] < 0 || r.content.empty();
        r.dateNull = bound[3] < 0 || r.date.empty();
        rows.push_back(std::move(r));
    }
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return rows;
}

PlainTable::PlainTable(const std::vector<PlainRow> &rows)
{
    sqlite3_open(":memory:", &m_db);
    sqlite3_exec(m_db, "create table maindata(subject text, htm text, content text, date text)", nullptr, nullptr,
                 nullptr);
    sqlite3_exec(m_db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *ins = nullptr;
    sqlite3_prepare_v2(m_db, "insert into maindata values(?,?,?,?)", -1, &ins, nullptr);
    for (const PlainRow &r : rows) {
        sqlite3_bind_text(ins, 1, r.subject.data(), int(r.subject.size()), SQLITE_STATIC);
        sqlite3_bind_text(ins, 2, r.htm.data(), int(r.htm.size()), SQLITE_STATIC);
        if (r.contentNull)
            sqlite3_bind_null(ins, 3);
        else
            sqlite3_bind_text(ins, 3, r.content.data(), int(r.content.size()), SQLITE_STATIC);
        if (r.dateNull)
            sqlite3_bind_null(ins, 4);
        else
            sqlite3_bind_text(ins, 4, r.date.data(), int(r.date.size()), SQLITE_STATIC);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(m_db, "commit", nullptr, nullptr, nullptr);
}

PlainTable::~PlainTable()
{
    sqlite3_close(m_db);
}

long PlainTable::run(const std::string &sql)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), int(sql.size()), &st, nullptr) != SQLITE_OK)
        return -1;
    long n = 0;
    std::vector<std::pair<std::string, std::string>> out; // the rows are read, as a grid would
    while (sqlite3_step(st) == SQLITE_ROW) {
        out.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                         reinterpret_cast<const char *>(sqlite3_column_text(st, 1)));
        ++n;
    }
    sqlite3_finalize(st);
    return n;
}

double timeProcess(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return -1;
    return std::chrono::duration<double, std::milli>(end - start).count();
}

long memmemCount(const std::string &haystack, const std::string &needle)
{
    if (needle.empty())
        return 0;
    long n = 0;
    const char *p = haystack.data();
    const char *end = p + haystack.size();
    while (const void *hit = memmem(p, size_t(end - p), needle.data(), needle.size())) {
        ++n;
        p = static_cast<const char *>(hit) + needle.size();
    }
    return n;
}

} // namespace bench
