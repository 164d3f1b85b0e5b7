#include "search/searchrun.h"

namespace morvessa {

SearchOutcome runSearch(const QString &connString, const QueryAnalysis &analysis)
{
    SearchOutcome outcome;
    outcome.analysis = analysis;

    Connection connection;
    connection.open(connString);
    Recordset recordset;
    recordset.open(analysis.sqlText, connection);
    const bool nothingFound = recordset.eof();
    recordset.close();
    if (nothingFound)
        return outcome;
    recordset.open(analysis.sqlText, connection);
    outcome.rows = recordset.rows();
    return outcome;
}

} // namespace morvessa
