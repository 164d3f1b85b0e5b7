#pragma once
// The record store: table maindata of jst.mdb, read with libmdb, queried with SQLite
// in the Jet dialect. Shaped like the connection/recordset pair the search expects.
#include "base/result.h"
#include "engine/contentscanner.h"
#include "engine/searchstatement.h"
#include "store/collection.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace morvessa {

struct StoreTable;
class VariantTable;

// The rows of one result, in statement order: column 0 subject, column 1 htm.
// They outlive the recordset that produced them (the grid keeps them).
class ResultRows {
public:
    virtual ~ResultRows() = default;
    virtual int count() const = 0;
    virtual QString text(int row, int col) const = 0;
    // The same cell as UTF-8, for writers that want bytes.
    virtual QByteArray utf8(int row, int col) const { return text(row, col).toUtf8(); }
    // The row of the loaded table (file order, from 0) that result row `row` is; -1 when
    // the statement made its rows some other way.
    virtual qint64 tableRow(int row) const
    {
        Q_UNUSED(row);
        return -1;
    }
};

class Connection {
public:
    // Reads and searches as collection says (its folder aside: the connection string names
    // the file).
    explicit Connection(Collection collection = Collection());
    ~Connection();
    // Opens the database that the connection string's Data Source names; a failure names
    // the file and leaves the connection as it was.
    Result<void> open(const QString &connString);
    // Runs statements over a table already in memory; `name` stands for the file in messages.
    // With variants, search statements (Recordset::open with a SearchStatement, its patterns
    // folded for variants) find the content's characters in every form of their class.
    Result<void> openTable(std::shared_ptr<const StoreTable> table, const QString &name,
                           std::shared_ptr<const VariantTable> variants = nullptr);

    // Reads the table again, after the kept copy it came from failed its checks.
    Result<void> readAgain();

    // The file the connection reads, and its table as loaded (shared while the file is unchanged).
    QString databasePath() const;
    std::shared_ptr<const StoreTable> table() const;
    // What it reads and searches as, with the tables (and what is made of them) it shares.
    const Collection &collection() const { return m_collection; }

    struct Impl;
    Impl *impl() const { return m_impl.get(); }

private:
    // The table of the file at path, read as the collection says (or the one it holds).
    TableResult tableOf(const QString &path) const;

    Collection m_collection;
    std::unique_ptr<Impl> m_impl;
};

class Recordset {
public:
    Recordset();
    ~Recordset();
    // Runs the statement with a static cursor; a failure (a statement the engine rejects)
    // leaves the recordset as it was.
    Result<void> open(const QString &sql, Connection &connection);
    // The same for a search statement: the same rows as its text gives, found from the
    // table's columns where the fast path can (engine/fastscan.h). A watcher sees rows as
    // the fast path's scans find them (runFast); it may see none, and a table read again
    // after its kept copy failed is not watched.
    Result<void> open(const SearchStatement &statement, Connection &connection,
                      const RowWatcher *watcher = nullptr);
    bool eof() const;
    void close();
    // The rows of the open recordset; null when closed.
    std::shared_ptr<const ResultRows> rows() const;

private:
    Result<void> open(const QString &sql, const SearchStatement *statement, Connection &connection,
                      const RowWatcher *watcher);
    std::shared_ptr<const ResultRows> m_rows;
};

} // namespace morvessa
