#include "engine/recordstore.h"

#include "engine/fastscan.h"
#include "engine/jetdialect.h"
#include "engine/jetsql.h"
#include "engine/maindatamodule.h"
#include "engine/scannercache.h"
#include "engine/variantcolumn.h"
#include "store/connstring.h"
#include "store/storetable.h"

#include <sqlite3.h>

#include <QRegularExpression>

#include <vector>

namespace morvessa {

namespace {

// ---- Results ----------------------------------------------------------------------------

// Rows of the table itself, named by their row numbers: cheap to make and to keep.
class TableRows : public ResultRows {
public:
    TableRows(std::shared_ptr<const StoreTable> table, std::vector<std::uint32_t> rows)
        : m_table(std::move(table)), m_rows(std::move(rows))
    {}
    int count() const override { return int(m_rows.size()); }
    QString text(int row, int col) const override
    {
        const std::string_view v = cell(row, col);
        return QString::fromUtf8(v.data(), qsizetype(v.size()));
    }
    QByteArray utf8(int row, int col) const override
    {
        const std::string_view v = cell(row, col);
        return QByteArray(v.data(), qsizetype(v.size()));
    }
    qint64 tableRow(int row) const override
    {
        return row >= 0 && std::size_t(row) < m_rows.size() ? qint64(m_rows[std::size_t(row)]) : -1;
    }

private:
    std::string_view cell(int row, int col) const
    {
        if (row < 0 || std::size_t(row) >= m_rows.size())
            return {};
        const std::uint32_t r = m_rows[std::size_t(row)];
        if (col == 0)
            return m_table->subject.at(r);
        if (col == 1)
            return m_table->htm.at(r);
        return {};
    }

    std::shared_ptr<const StoreTable> m_table;
    std::vector<std::uint32_t> m_rows;
};

// Rows of any other statement, as the texts it produced.
class TextRows : public ResultRows {
public:
    void add(QString a, QString b)
    {
        m_cells.push_back(std::move(a));
        m_cells.push_back(std::move(b));
    }
    int count() const override { return int(m_cells.size() / 2); }
    QString text(int row, int col) const override
    {
        if (row < 0 || row >= count() || col < 0 || col > 1)
            return {};
        return m_cells[std::size_t(row) * 2 + std::size_t(col)];
    }

private:
    std::vector<QString> m_cells;
};

struct Statement {
    sqlite3_stmt *stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

} // namespace

struct Connection::Impl {
    Collection collection;
    QString path;
    std::shared_ptr<const StoreTable> table;
    sqlite3 *db = nullptr;
    // The last statement run and its rows: a second run of the same statement on this
    // connection gives the same rows, since the loaded table never changes.
    QString lastSql;
    std::shared_ptr<const ResultRows> lastRows;
    // Set: search statements match variant forms as one (their patterns folded for variants).
    std::shared_ptr<const VariantTable> variants;
    // The plain path of those: the same statements over the content folded for variants,
    // made when first needed.
    std::unique_ptr<Connection> folded;

    ~Impl() { sqlite3_close(db); }

    Failure engineError(const QString &detail) const
    {
        return {QStringLiteral("資料庫引擎無法執行這個查詢（資料庫檔案「%1」）：%2").arg(path, detail)};
    }
    Failure engineError() const { return engineError(QString::fromUtf8(sqlite3_errmsg(db))); }

    // The rows of a statement; null for a statement runAsTableRows leaves to runAsTexts.
    using Rows = Result<std::shared_ptr<const ResultRows>>;

    // statement: the same statement typed, for the fast path (null: only the text).
    Rows run(const QString &jetSql, const SearchStatement *statement, const RowWatcher *watcher = nullptr);
    Rows runAsTableRows(const QByteArray &sql);
    Rows runAsTexts(const QByteArray &sql);
    Rows runFolded(const QString &jetSql, const SearchStatement &statement);
};

// The system's statements select subject and htm straight from maindata. Such a statement
// runs with the row number as a third column, so its result is a list of row numbers.
// Any other statement gives null.
Connection::Impl::Rows Connection::Impl::runAsTableRows(const QByteArray &sql)
{
    static const QRegularExpression head(QStringLiteral("^\\s*select\\s+subject\\s*,\\s*htm\\s+from\\s"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString text = QString::fromUtf8(sql);
    const QRegularExpressionMatch m = head.match(text);
    if (!m.hasMatch())
        return nullptr;
    const QString withRowid = QStringLiteral("select subject,htm,rowid from ") + text.mid(m.capturedLength());
    const QByteArray utf8 = withRowid.toUtf8();
    Statement s;
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &s.stmt, nullptr) != SQLITE_OK || !s.stmt ||
        sqlite3_column_count(s.stmt) != 3)
        return nullptr;
    std::vector<std::uint32_t> rows;
    const std::size_t rowCount = table->rowCount();
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
        const sqlite3_int64 id = sqlite3_column_int64(s.stmt, 2);
        if (sqlite3_column_type(s.stmt, 2) != SQLITE_INTEGER || id < 1 || std::uint64_t(id) > rowCount)
            return nullptr;
        rows.push_back(std::uint32_t(id - 1));
    }
    if (rc != SQLITE_DONE)
        return engineError();
    return std::make_shared<TableRows>(table, std::move(rows));
}

Connection::Impl::Rows Connection::Impl::runAsTexts(const QByteArray &sql)
{
    Statement s;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &s.stmt, nullptr) != SQLITE_OK)
        return engineError();
    if (!s.stmt)
        return engineError(QStringLiteral("查詢是空的。"));
    auto rows = std::make_shared<TextRows>();
    const int columns = sqlite3_column_count(s.stmt);
    auto cell = [&](int col) {
        if (col >= columns)
            return QString();
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s.stmt, col));
        return p ? QString::fromUtf8(p, sqlite3_column_bytes(s.stmt, col)) : QString();
    };
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW)
        rows->add(cell(0), cell(1));
    if (rc != SQLITE_DONE)
        return engineError();
    return rows;
}

Connection::Impl::Rows Connection::Impl::run(const QString &jetSql, const SearchStatement *statement,
                                             const RowWatcher *watcher)
{
    if (lastRows && jetSql == lastSql)
        return lastRows;
    std::shared_ptr<const ResultRows> rows;
    // Fast path (engine/fastscan.h): the search statements, answered from the columns;
    // the same rows as SQLite gives the text. Any other statement goes to SQLite.
    if (statement && !collection.plainSearch) {
        if (auto ids =
                runFast(*statement, *scannerFor(*collection.tables, table, table->content, table->contentFolded),
                        table->newestFirst(), variants.get(), watcher))
            rows = std::make_shared<TableRows>(table, std::move(*ids));
    }
    // Nothing found in a kept file is used before all of it has been checked (the scan
    // above ran while it was); the engine below reads it only once it has.
    if (!table->settled())
        return Failure{QStringLiteral("資料庫檔案「%1」的暫存副本已損壞。").arg(path)};
    // An invalid pattern is reported below as it is; the content does not matter there.
    if (!rows && statement && variants && patternsValid(*statement)) {
        Rows found = runFolded(jetSql, *statement);
        if (!found)
            return found;
        rows = *found;
    }
    const QByteArray sql = rows ? QByteArray() : jetToSqlite(jetSql).toUtf8();
    if (!rows) {
        Rows found = runAsTableRows(sql);
        if (found && !*found)
            found = runAsTexts(sql);
        if (!found)
            return found;
        rows = *found;
    }
    lastSql = jetSql;
    lastRows = rows;
    return rows;
}

Connection::Impl::Rows Connection::Impl::runFolded(const QString &jetSql, const SearchStatement &statement)
{
    if (!folded) {
        const Result<std::shared_ptr<const StoreTable>> foldedTable = variantTableFor(*collection.tables, table);
        if (!foldedTable)
            return foldedTable.failure();
        auto connection = std::make_unique<Connection>(collection);
        if (const Result<void> opened = connection->openTable(*foldedTable, path); !opened)
            return opened.failure();
        folded = std::move(connection);
    }
    return folded->impl()->run(jetSql, &statement);
}

Connection::Connection(Collection collection) : m_collection(std::move(collection)) {}
Connection::~Connection() = default;

Result<void> Connection::open(const QString &connString)
{
    const QString path = dataSourceOf(connString);
    if (path.isEmpty())
        return Failure{QStringLiteral("連線字串無效，找不到資料庫檔案的位置：%1").arg(connString)};
    const TableResult table = tableOf(path);
    if (!table)
        return table.failure();
    return openTable(*table, path);
}

TableResult Connection::tableOf(const QString &path) const
{
    // Content is only ever matched with like, so the fast path holds it folded; the plain
    // path keeps it as written, in a table of its own.
    const ContentForm form = m_collection.plainSearch ? ContentForm::AsWritten : ContentForm::Folded;
    return m_collection.tables->tableFor(path, form, m_collection.reading);
}

Result<void> Connection::openTable(std::shared_ptr<const StoreTable> table, const QString &name,
                                   std::shared_ptr<const VariantTable> variants)
{
    auto impl = std::make_unique<Impl>();
    impl->collection = m_collection;
    impl->path = name;
    impl->table = std::move(table);
    impl->variants = std::move(variants);
    if (sqlite3_open_v2(":memory:", &impl->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr) != SQLITE_OK)
        return impl->engineError(QStringLiteral("無法建立查詢引擎。"));
    if (sqlite3_create_module_v2(impl->db, "maindata", &maindataModule(), &impl->table, nullptr) != SQLITE_OK)
        return impl->engineError();
    if (const Result<void> registered = registerJetFunctions(impl->db); !registered)
        return impl->engineError(registered.message());
    m_impl = std::move(impl);
    return {};
}

Result<void> Connection::readAgain()
{
    const QString path = m_impl->path;
    std::shared_ptr<const VariantTable> variants = m_impl->variants;
    const TableResult table = tableOf(path);
    if (!table)
        return table.failure();
    return openTable(*table, path, std::move(variants));
}

QString Connection::databasePath() const
{
    return m_impl ? m_impl->path : QString();
}

std::shared_ptr<const StoreTable> Connection::table() const
{
    return m_impl ? m_impl->table : nullptr;
}

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

Result<void> Recordset::open(const QString &sql, Connection &connection)
{
    return open(sql, nullptr, connection, nullptr);
}

Result<void> Recordset::open(const SearchStatement &statement, Connection &connection, const RowWatcher *watcher)
{
    return open(statement.sqlText(), &statement, connection, watcher);
}

Result<void> Recordset::open(const QString &sql, const SearchStatement *statement, Connection &connection,
                             const RowWatcher *watcher)
{
    if (!connection.impl())
        return Failure{QStringLiteral("資料庫連線尚未開啟。")};
    Connection::Impl::Rows rows = connection.impl()->run(sql, statement, watcher);
    if (!rows && connection.impl()->table->knownDamaged()) {
        // The kept copy failed its checks: its answer is dropped, the database read again.
        if (const Result<void> reopened = connection.readAgain(); !reopened)
            return reopened.failure();
        rows = connection.impl()->run(sql, statement);
    }
    if (!rows)
        return rows.failure();
    m_rows = *rows;
    return {};
}

bool Recordset::eof() const
{
    return !m_rows || m_rows->count() == 0;
}

void Recordset::close()
{
    m_rows.reset();
}

std::shared_ptr<const ResultRows> Recordset::rows() const
{
    return m_rows;
}

} // namespace morvessa
