#include "store/databaseidentity.h"

#include "store/bytehash.h"
#include "store/opendatabase.h"

#include <unistd.h>

namespace morvessa {

namespace {

std::int64_t nanoseconds(const timespec &t)
{
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

DatabaseIdentity identityOf(int fd, const struct stat &st)
{
    DatabaseIdentity id;
    id.device = std::uint64_t(st.st_dev);
    id.inode = std::uint64_t(st.st_ino);
    id.size = std::uint64_t(st.st_size);
    id.mtimeNs = nanoseconds(st.st_mtim);
    id.ctimeNs = nanoseconds(st.st_ctim);
    // Sixteen places spread over the file, the first and the last page among them.
    constexpr std::uint64_t kSample = 256;
    constexpr int kPlaces = 16;
    unsigned char bytes[kSample * kPlaces] = {};
    const std::uint64_t room = id.size > kSample ? id.size - kSample : 0;
    for (int i = 0; i < kPlaces; ++i) {
        const std::uint64_t at = room * std::uint64_t(i) / (kPlaces - 1);
        [[maybe_unused]] const ssize_t n = ::pread(fd, bytes + kSample * std::uint64_t(i), kSample, off_t(at));
    }
    id.sampleHash = hashBytes(bytes, sizeof bytes);
    return id;
}

Result<DatabaseIdentity> identityOfFile(const QString &path)
{
    OpenDatabase db;
    if (const Result<void> opened = openDatabase(path, db); !opened)
        return opened.failure();
    return identityOf(db.fd, db.status);
}

} // namespace morvessa
