#pragma once
// Jet statements in SQLite's dialect.
#include <QString>

namespace morvessa {

// Rewrites a Jet statement into SQLite's dialect: "&" becomes "||", a "..." text literal
// becomes '...'; '...' literals and [names] are left untouched. A where clause that is a
// long chain of one connective (and/or) is regrouped into a balanced tree, so thousands
// of terms stay within SQLite's expression depth limit.
QString jetToSqlite(const QString &jetSql);

} // namespace morvessa
