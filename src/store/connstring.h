#pragma once
#include <QString>

namespace morvessa {

// The one module-level string: built by the start window's load step, read by every search.
extern QString ConnString;

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "\jst.mdb;Persist Security Info=False"
QString buildConnString(const QString &folder);

// The database file the connection string names. Only the text between the fixed
// "Data Source=" prefix and the fixed ";Persist Security Info=False" suffix counts,
// so a folder with blanks, non-ASCII characters or ";" still names its file.
// Empty when the string is not of that shape.
QString dataSourceOf(const QString &connString);

} // namespace morvessa
