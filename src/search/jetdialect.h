#pragma once
// The Jet SQL dialect on SQLite: "&" concatenation, chr(n), [date], and Jet's like.
#include <QString>

struct sqlite3;

namespace morvessa {

// Rewrites a Jet statement into SQLite's dialect; string literals are left untouched.
QString jetToSqlite(const QString &jetSql);

// Registers chr() and Jet's like (%, _, [set], [!set], case- and width-insensitive)
// on a connection. An invalid pattern (unclosed "[") makes the statement fail.
void registerJetFunctions(sqlite3 *db);

} // namespace morvessa
