#pragma once
// The Jet dialect's functions on SQLite: chr() and Jet's like (engine/likepattern.h).
struct sqlite3;

namespace morvessa {

// Registers chr() and Jet's like (%, _, [set], [!set], case- and width-insensitive)
// on a connection, in place of SQLite's like. An invalid pattern (unclosed "[") makes
// the statement fail with a Traditional Chinese message. NULL never matches. chr(n)
// gives the character with code n. Throws std::runtime_error only when SQLite cannot
// register a function (out of memory).
void registerJetFunctions(sqlite3 *db);

} // namespace morvessa
