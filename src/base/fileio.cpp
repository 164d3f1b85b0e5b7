#include "base/fileio.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace morvessa::fileio {

int writeAll(int fd, const char *data, size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = writeAtCall()(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO; // no progress: give up instead of looping
        data += n;
        size -= size_t(n);
        offset += n;
    }
    return 0;
}

int readAll(int fd, QByteArray *out)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return errno;
    QByteArray bytes;
    bytes.resize(qsizetype(st.st_size));
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, size_t(bytes.size() - done), done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    // The file is not expected to grow meanwhile; a longer file is not what was written.
    char extra;
    if (::pread(fd, &extra, 1, done) > 0)
        return EIO;
    *out = bytes;
    return 0;
}

int syncCall(int fd)
{
    return ::fsync(fd) != 0 ? errno : 0;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

} // namespace morvessa::fileio
