#pragma once
// Is this the same database file as before? One answer for the kept column files and the
// tables a process holds: a file rewritten, touched, replaced, moved to another file
// system or changed in place differs.
#include "base/result.h"

#include <QString>

#include <cstdint>
#include <sys/stat.h>

namespace morvessa {

struct DatabaseIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;     // a modification time put back (touch) still changes this
    std::uint64_t sampleHash = 0; // bytes read at a few places of the file
    bool operator==(const DatabaseIdentity &) const = default;
};

// The identity of the database open at fd, whose status is st.
DatabaseIdentity identityOf(int fd, const struct stat &st);

// The identity of the regular file at path (links followed), or why there is none: the
// failure the reading of that file would give.
Result<DatabaseIdentity> identityOfFile(const QString &path);

} // namespace morvessa
