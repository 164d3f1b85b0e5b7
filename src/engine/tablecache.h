#pragma once
// The tables loaded in this process, one for each database file and content form, shared
// by every connection while the file is unchanged (store/databaseidentity.h).
#include "store/collection.h"
#include "store/mdbreader.h"

#include <QString>

namespace morvessa {

// The table of the file at path as it is now: the loaded one while the file is unchanged,
// else read anew as collection says. A file that cannot be read leaves nothing behind.
TableResult tableFor(const QString &path, const Collection &collection);

} // namespace morvessa
