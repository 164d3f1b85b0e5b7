#pragma once
// The database file opened for reading, or what stands in the way, in the words the user
// reads. The file is opened in the program's own process, so that its permissions decide.
#include "base/result.h"

#include <QString>

#include <sys/stat.h>

namespace morvessa {

struct OpenDatabase {
    int fd = -1;
    struct stat status {};
    OpenDatabase() = default;
    OpenDatabase(const OpenDatabase &) = delete;
    OpenDatabase &operator=(const OpenDatabase &) = delete;
    ~OpenDatabase();
};

Result<void> openDatabase(const QString &path, OpenDatabase &db);

} // namespace morvessa
