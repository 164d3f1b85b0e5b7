#pragma once
// Table maindata as an SQLite virtual table over the loaded columns. It is eponymous: once
// the module is registered as "maindata", the table is there. Asked for the rows newest
// first, it hands them over in the table's own order, so ties keep the file's order.
#include <sqlite3.h>

namespace morvessa {

// Registered with a const std::shared_ptr<const StoreTable> * as its client data, which
// must outlive the connection.
const sqlite3_module &maindataModule();

} // namespace morvessa
