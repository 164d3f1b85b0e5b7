#include "search/searchrun.h"

#include "text/variants.h"

#include <QThreadPool>

namespace morvessa {

namespace {

Result<SearchOutcome> runStatement(Connection &connection, const QueryAnalysis &analysis,
                                   const SearchStatement &statement, const RowWatcher *watcher = nullptr)
{
    SearchOutcome outcome;
    outcome.analysis = analysis;

    Recordset recordset;
    if (const Result<void> opened = recordset.open(statement, connection, watcher); !opened)
        return opened.failure();
    const bool nothingFound = recordset.eof();
    recordset.close();
    if (nothingFound)
        return outcome;
    if (const Result<void> opened = recordset.open(statement, connection, watcher); !opened)
        return opened.failure();
    outcome.rows = recordset.rows();
    return outcome;
}

} // namespace

Result<SearchOutcome> runSearch(const QString &connString, const QueryAnalysis &analysis, Matching matching,
                                const Collection &collection)
{
    Connection connection(collection);
    if (const Result<void> opened = connection.open(connString); !opened)
        return opened.failure();
    return runSearchOn(connection, analysis, matching);
}

Result<SearchOutcome> runSearchOn(Connection &connection, const QueryAnalysis &analysis, Matching matching,
                                  const RowWatcher *watcher)
{
    if (matching == Matching::Exact)
        return runStatement(connection, analysis, analysis.statement, watcher);
    if (!connection.table())
        return Failure{QStringLiteral("資料庫連線尚未開啟。")};
    const auto variants = variantTable();
    if (!variants)
        return variants.failure();
    // Without a term the content is not looked at: the table as it is gives the same rows.
    if (analysis.statement.kind == SearchStatement::AllRows)
        return runStatement(connection, analysis, analysis.statement);
    // The statement's only ideographs are its terms: folding its patterns folds its text.
    // The same collection: the scanner made for its table is the exact search's.
    Connection folded(connection.collection());
    if (const Result<void> opened = folded.openTable(connection.table(), connection.databasePath(), *variants);
        !opened)
        return opened.failure();
    SearchStatement statement = analysis.statement;
    for (QString &pattern : statement.patterns)
        pattern = (*variants)->fold(pattern);
    return runStatement(folded, analysis, statement, watcher);
}

void prepareVariantSearch()
{
    QThreadPool::globalInstance()->start([] { (void)variantTable(); });
}

void prepareSearch(const QString &connString, const Collection &collection)
{
    QThreadPool::globalInstance()->start([connString, collection] {
        Connection connection(collection);
        if (connection.open(connString))
            (void)connection.table()->settled();
    });
}

} // namespace morvessa
