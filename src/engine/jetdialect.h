#pragma once
// The Jet dialect's functions on SQLite: chr() and Jet's like (engine/likepattern.h).
#include "base/result.h"

struct sqlite3;

namespace morvessa {

// Registers chr() and Jet's like (%, _, [set], [!set], case- and width-insensitive)
// on a connection, in place of SQLite's like. An invalid pattern (unclosed "[") makes
// the statement fail with a Traditional Chinese message. NULL never matches. chr(n)
// gives the character with code n. Fails only when SQLite cannot register a function
// (out of memory); the message says so with SQLite's reason, and the caller names the file.
Result<void> registerJetFunctions(sqlite3 *db);

} // namespace morvessa
