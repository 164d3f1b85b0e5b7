#include "search/searchrun.h"

#include "engine/variantcolumn.h"
#include "text/variants.h"

namespace morvessa {

namespace {

SearchOutcome runStatement(Connection &connection, const QueryAnalysis &analysis, const SearchStatement &statement)
{
    SearchOutcome outcome;
    outcome.analysis = analysis;

    Recordset recordset;
    recordset.open(statement, connection);
    const bool nothingFound = recordset.eof();
    recordset.close();
    if (nothingFound)
        return outcome;
    recordset.open(statement, connection);
    outcome.rows = recordset.rows();
    return outcome;
}

} // namespace

SearchOutcome runSearch(const QString &connString, const QueryAnalysis &analysis, Matching matching)
{
    Connection connection;
    connection.open(connString);
    return runSearchOn(connection, analysis, matching);
}

SearchOutcome runSearchOn(Connection &connection, const QueryAnalysis &analysis, Matching matching)
{
    if (matching == Matching::Exact)
        return runStatement(connection, analysis, analysis.statement);
    if (!connection.table())
        throw DbError(QStringLiteral("資料庫連線尚未開啟。"));
    // The statement's only ideographs are its terms: folding its patterns folds its text.
    Connection folded;
    folded.openTable(variantTableFor(connection.table()), connection.databasePath());
    SearchStatement statement = analysis.statement;
    for (QString &pattern : statement.patterns)
        pattern = variantTable()->fold(pattern);
    return runStatement(folded, analysis, statement);
}

} // namespace morvessa
