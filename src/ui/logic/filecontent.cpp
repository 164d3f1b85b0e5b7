#include "ui/logic/filecontent.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvessa {

namespace {

// Closes the descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void adopt(int fd)
    {
        reset();
        m_fd = fd;
    }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Closes and tells the errno of a failed close (on some file systems the last
    // write error shows only there), 0 when it succeeded.
    int close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int m_fd;
};

// Writes every byte or tells the errno of the call that stopped it.
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

ReplaceResult failed(ReplaceFailure failure, int error, ReplaceWay way, bool oldKept = true)
{
    ReplaceResult r;
    r.failure = failure;
    r.error = error;
    r.way = way;
    r.oldKept = oldKept;
    return r;
}

// Writes bytes into the file itself. Bytes past the old end go first, so a disk that
// fills up stops the save before one old byte is overwritten; after the old bytes have
// been overwritten the new ones are read back, and any failure puts the old ones back.
ReplaceResult writeInPlace(const QByteArray &path, const QByteArray &bytes)
{
    constexpr ReplaceWay way = ReplaceWay::InPlace;
    Fd fd(::open(path.constData(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        return failed(ReplaceFailure::WriteFailed, errno, way);
    QByteArray old;
    if (const int err = readAll(fd.get(), &old))
        return failed(ReplaceFailure::WriteFailed, err, way);

    const size_t oldSize = size_t(old.size());
    const size_t newSize = size_t(bytes.size());
    if (newSize > oldSize) {
        int err = writeAll(fd.get(), bytes.constData() + oldSize, newSize - oldSize, off_t(oldSize));
        if (!err)
            err = syncCall(fd.get());
        if (err) {
            const bool cut = ::ftruncate(fd.get(), off_t(oldSize)) == 0;
            return failed(ReplaceFailure::WriteFailed, err, way, cut);
        }
    }

    int err = writeAll(fd.get(), bytes.constData(), std::min(oldSize, newSize), 0);
    if (!err && newSize < oldSize && ::ftruncate(fd.get(), off_t(newSize)) != 0)
        err = errno;
    if (!err)
        err = syncCall(fd.get());
    if (!err) {
        QByteArray back;
        err = readAll(fd.get(), &back);
        if (!err && back != bytes)
            err = EIO;
    }
    if (!err)
        err = fd.close();
    if (!err) {
        ReplaceResult r;
        r.way = way;
        return r;
    }

    // Put the old bytes back.
    if (!fd.valid())
        fd.adopt(::open(path.constData(), O_RDWR | O_CLOEXEC));
    bool restored = fd.valid() && writeAll(fd.get(), old.constData(), oldSize, 0) == 0 &&
                    ::ftruncate(fd.get(), off_t(oldSize)) == 0 && syncCall(fd.get()) == 0;
    if (restored) {
        QByteArray back;
        restored = readAll(fd.get(), &back) == 0 && back == old;
    }
    return failed(ReplaceFailure::WriteFailed, err, way, restored);
}

// A new file in the same folder, hidden from the file list, that no one else has.
int createBeside(const QByteArray &path, mode_t mode, QByteArray *created)
{
    const QByteArray stem = folderOf(path) + "/." + nameOf(path) + '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = stem + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".new";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            *created = name;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

ReadResult readFileContent(const QByteArray &path, qint64 limit)
{
    ReadResult r;
    // Without waiting: a pipe that took the name since it was listed must not hang.
    Fd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        r.error = errno;
        r.failure = r.error == ENOENT || r.error == ENOTDIR ? ReadFailure::Missing
                    : r.error == EACCES || r.error == EPERM ? ReadFailure::NoPermission
                                                            : ReadFailure::ReadFailed;
        return r;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        r.error = errno;
        r.failure = ReadFailure::ReadFailed;
    } else if (!S_ISREG(st.st_mode)) {
        r.failure = ReadFailure::NotAFile;
    } else if (st.st_size > limit) {
        r.failure = ReadFailure::TooLarge;
    } else if (const int err = readAll(fd.get(), &r.bytes)) {
        r.error = err;
        r.failure = ReadFailure::ReadFailed;
    }
    return r;
}

WriteAtCall &writeAtCall()
{
    static WriteAtCall call = [](int fd, const char *data, size_t size, off_t offset) {
        return ::pwrite(fd, data, size, offset);
    };
    return call;
}

ReplaceResult replaceFileContent(const QByteArray &givenPath, const QByteArray &bytes)
{
    const QByteArray path = followLinks(givenPath);
    struct stat st {};
    const bool exists = ::stat(path.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return failed(ReplaceFailure::NotAFile, 0, ReplaceWay::NewFile);
    // A file without its owner's write permission is read-only for everyone, the
    // superuser included.
    if (exists && (!(st.st_mode & S_IWUSR) || ::access(path.constData(), W_OK) != 0))
        return failed(ReplaceFailure::ReadOnly, EACCES, ReplaceWay::NewFile);

    // Another name for the same file would keep the old text after a rename.
    if (exists && st.st_nlink > 1)
        return writeInPlace(path, bytes);

    QByteArray temp;
    Fd fd(createBeside(path, exists ? S_IRUSR | S_IWUSR : 0666, &temp));
    if (!fd.valid()) {
        if (exists) // the folder takes no new file, but the file itself is writable
            return writeInPlace(path, bytes);
        return failed(ReplaceFailure::CannotCreate, errno, ReplaceWay::NewFile);
    }
    auto dropTemp = [&] {
        fd.reset();
        ::unlink(temp.constData());
    };
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(fd.get(), st.st_uid == ::geteuid() ? uid_t(-1) : st.st_uid, st.st_gid) != 0) {
        // Only the owner the file has may keep it: write into the file itself.
        dropTemp();
        return writeInPlace(path, bytes);
    }

    int err = writeAll(fd.get(), bytes.constData(), size_t(bytes.size()), 0);
    // After fchown, which clears the set-id bits, so they are kept too.
    if (!err && exists && ::fchmod(fd.get(), st.st_mode & 07777) != 0)
        err = errno;
    if (!err)
        err = syncCall(fd.get());
    if (!err)
        err = fd.close();
    if (!err && ::rename(temp.constData(), path.constData()) != 0)
        err = errno;
    if (err) {
        dropTemp();
        return failed(ReplaceFailure::WriteFailed, err, ReplaceWay::NewFile);
    }
    // The rename itself reaches the disk with the folder.
    Fd folder(::open(folderOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
    return ReplaceResult{};
}

} // namespace morvessa
