#include "store/databaseidentity.h"

#include "store/columnfile.h"

#include <QFile>

#include <fcntl.h>
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

std::optional<DatabaseIdentity> identityOfFile(const QString &path)
{
    // Without blocking: a pipe put where the database goes is no database, never a wait.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<DatabaseIdentity> id;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        id = identityOf(fd, st);
    ::close(fd);
    return id;
}

} // namespace morvessa
