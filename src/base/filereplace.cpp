#include "base/filereplace.h"

#include "base/fileio.h"
#include "base/filesizelimit.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvessa {

using namespace fileio;

namespace {

// The file a symbolic link names, or path itself.
QByteArray followLinks(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved))
        return path;
    return QByteArray(resolved);
}

Result<ReplaceWay, FileFailure> replaceResolved(const QByteArray &path, const QByteArray &bytes)
{
    struct stat st {};
    const bool exists = ::stat(path.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return failed(FileFailure::NotAFile, 0);
    // A file without its owner's write permission is read-only for everyone, the
    // superuser included.
    if (exists && (!(st.st_mode & S_IWUSR) || ::access(path.constData(), W_OK) != 0))
        return failed(FileFailure::ReadOnly, EACCES);

    // Another name for the same file would keep the old text after a rename.
    if (exists && st.st_nlink > 1)
        return writeInPlace(path, bytes);

    NewFileBeside file(path, exists ? S_IRUSR | S_IWUSR : 0666);
    if (file.error()) {
        if (exists) // the folder takes no new file, but the file itself is writable
            return writeInPlace(path, bytes);
        return failed(FileFailure::CannotCreate, file.error());
    }
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(file.fd(), st.st_uid == ::geteuid() ? uid_t(-1) : st.st_uid, st.st_gid) != 0) {
        // Only the owner the file has may keep it: write into the file itself.
        return writeInPlace(path, bytes);
    }
    int err = file.write(bytes);
    // After fchown, which clears the set-id bits, so they are kept too.
    if (!err && exists && ::fchmod(file.fd(), st.st_mode & 07777) != 0)
        err = errno;
    if (!err)
        err = file.commit(NewFileBeside::Sync::Yes);
    if (err)
        return failed(FileFailure::WriteFailed, err);
    return ReplaceWay::NewFile;
}

} // namespace

Result<QByteArray, FileFailure> readFileContent(const QByteArray &path, qint64 limit, const QString &shown)
{
    // Without waiting: a pipe that took the name since it was listed must not hang.
    Fd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        const int error = errno;
        return readFailure(failed(error == ENOENT || error == ENOTDIR ? FileFailure::Missing
                                  : error == EACCES || error == EPERM ? FileFailure::NoPermission
                                                                      : FileFailure::ReadFailed,
                                  error),
                           path, limit, shown);
    }
    struct stat st {};
    QByteArray bytes;
    if (::fstat(fd.get(), &st) != 0)
        return readFailure(failed(FileFailure::ReadFailed, errno), path, limit, shown);
    if (!S_ISREG(st.st_mode))
        return readFailure(failed(FileFailure::NotAFile, 0), path, limit, shown);
    if (st.st_size > limit)
        return readFailure(failed(FileFailure::TooLarge, 0), path, limit, shown);
    if (const int err = readAll(fd.get(), &bytes))
        return readFailure(failed(FileFailure::ReadFailed, err), path, limit, shown);
    return bytes;
}

WriteAtCall &writeAtCall()
{
    static WriteAtCall call = [](int fd, const char *data, size_t size, off_t offset) {
        return ::pwrite(fd, data, size, offset);
    };
    return call;
}

Result<ReplaceWay, FileFailure> replaceFileContent(const QByteArray &path, const QByteArray &bytes,
                                                   const QString &shown)
{
    letWritesPastTheSizeLimitFail();
    // A link to nothing: replacing the link by a file would quietly cut it from where the
    // user meant the text to go, and creating its target could write anywhere.
    struct stat link {};
    if (::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        struct stat target {};
        if (::stat(path.constData(), &target) != 0 && errno == ENOENT)
            return replaceFailure(failed(FileFailure::Missing, ENOENT), path, shown);
    }
    Result<ReplaceWay, FileFailure> replaced = replaceResolved(followLinks(path), bytes);
    if (!replaced)
        return replaceFailure(replaced.failure(), path, shown);
    return replaced;
}

} // namespace morvessa
