#include "base/filereplace.h"

#include "base/filesizelimit.h"

#include <QFile>
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

using Replaced = Result<ReplaceWay, FileFailure>;

// A failure without its message yet: the public functions add it, naming the path given.
FileFailure failed(FileFailure::Kind kind, int error, bool oldKept = true)
{
    FileFailure f;
    f.kind = kind;
    f.error = error;
    f.oldKept = oldKept;
    return f;
}

QString quoted(const QString &path)
{
    return QStringLiteral("「") + path + QStringLiteral("」");
}

QString shownAs(const QByteArray &path, const QString &shown)
{
    return quoted(shown.isEmpty() ? QFile::decodeName(path) : shown);
}

FileFailure readFailure(FileFailure f, const QByteArray &path, qint64 limit, const QString &shownName)
{
    const QString shown = shownAs(path, shownName);
    switch (f.kind) {
    case FileFailure::Missing:
        f.message = QStringLiteral("找不到檔案%1，它可能已被移走或刪除。").arg(shown);
        break;
    case FileFailure::NotAFile:
        f.message = QStringLiteral("%1不是檔案，無法讀取。").arg(shown);
        break;
    case FileFailure::NoPermission:
        f.message = QStringLiteral("沒有讀取檔案%1的權限。").arg(shown);
        break;
    case FileFailure::TooLarge:
        f.message = QStringLiteral("檔案%1超過 %2 MB，沒有讀入。").arg(shown).arg(limit / (1024 * 1024));
        break;
    default:
        f.message = QStringLiteral("讀取檔案%1時發生錯誤（%2）。").arg(shown, systemErrorText(f.error));
        break;
    }
    return f;
}

FileFailure replaceFailure(FileFailure f, const QByteArray &path, const QString &shownName)
{
    const QString shown = shownAs(path, shownName);
    switch (f.kind) {
    case FileFailure::NotAFile:
        f.message = QStringLiteral("%1不是檔案，無法存檔。").arg(shown);
        break;
    case FileFailure::Missing:
        f.message = QStringLiteral("%1是一個連結，但它指向的檔案不存在，沒有存檔；連結沒有變更。").arg(shown);
        break;
    case FileFailure::ReadOnly:
        f.message = QStringLiteral("檔案%1是唯讀檔，沒有存檔。").arg(shown);
        break;
    case FileFailure::CannotCreate:
        f.message = QStringLiteral("無法在檔案%1所在的資料夾建立檔案（%2），沒有存檔。")
                        .arg(shown, systemErrorText(f.error));
        break;
    default:
        f.message = f.oldKept ? QStringLiteral("寫入檔案%1失敗（%2），沒有存檔；原檔案沒有變更。")
                                    .arg(shown, systemErrorText(f.error))
                              : QStringLiteral("寫入檔案%1失敗（%2），原來的內容也無法寫回，檔案可能已經損壞。")
                                    .arg(shown, systemErrorText(f.error));
        break;
    }
    return f;
}

// Writes bytes into the file itself. Bytes past the old end go first, so a disk that
// fills up stops the save before one old byte is overwritten; after the old bytes have
// been overwritten the new ones are read back, and any failure puts the old ones back.
Replaced writeInPlace(const QByteArray &path, const QByteArray &bytes)
{
    Fd fd(::open(path.constData(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        return failed(FileFailure::WriteFailed, errno);
    QByteArray old;
    if (const int err = readAll(fd.get(), &old))
        return failed(FileFailure::WriteFailed, err);

    const size_t oldSize = size_t(old.size());
    const size_t newSize = size_t(bytes.size());
    if (newSize > oldSize) {
        int err = writeAll(fd.get(), bytes.constData() + oldSize, newSize - oldSize, off_t(oldSize));
        if (!err)
            err = syncCall(fd.get());
        if (err) {
            const bool cut = ::ftruncate(fd.get(), off_t(oldSize)) == 0;
            return failed(FileFailure::WriteFailed, err, cut);
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
    if (!err)
        return ReplaceWay::InPlace;

    // Put the old bytes back.
    if (!fd.valid())
        fd.adopt(::open(path.constData(), O_RDWR | O_CLOEXEC));
    bool restored = fd.valid() && writeAll(fd.get(), old.constData(), oldSize, 0) == 0 &&
                    ::ftruncate(fd.get(), off_t(oldSize)) == 0 && syncCall(fd.get()) == 0;
    if (restored) {
        QByteArray back;
        restored = readAll(fd.get(), &back) == 0 && back == old;
    }
    return failed(FileFailure::WriteFailed, err, restored);
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

namespace {

Replaced replaceResolved(const QByteArray &path, const QByteArray &bytes)
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
    Replaced replaced = replaceResolved(followLinks(path), bytes);
    if (!replaced)
        return replaceFailure(replaced.failure(), path, shown);
    return replaced;
}

NewFileBeside::NewFileBeside(const QByteArray &path, mode_t mode) : m_path(path)
{
    m_fd = createBeside(path, mode, &m_temporary);
    if (m_fd < 0)
        m_error = errno ? errno : EIO;
}

NewFileBeside::~NewFileBeside()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
}

int NewFileBeside::write(const QByteArray &bytes)
{
    if (m_fd < 0)
        return m_error ? m_error : EBADF;
    const int err = writeAll(m_fd, bytes.constData(), size_t(bytes.size()), m_written);
    if (!err)
        m_written += off_t(bytes.size());
    return err;
}

int NewFileBeside::commit(Sync sync)
{
    if (m_fd < 0)
        return m_error ? m_error : EBADF;
    int err = sync == Sync::Yes ? syncCall(m_fd) : 0;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && ::rename(m_temporary.constData(), m_path.constData()) != 0)
        err = errno;
    if (err)
        return err; // the destructor removes the new file
    m_temporary.clear();
    if (sync == Sync::Yes) {
        // The move itself reaches the disk with the folder.
        Fd folder(::open(folderOf(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.valid())
            ::fsync(folder.get());
    }
    return 0;
}

// Why a read or write failed, for the user.
QString systemErrorText(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁碟空間不足");
    case EDQUOT:
        return QStringLiteral("超過磁碟配額");
    case EFBIG:
        return QStringLiteral("超過檔案大小的上限");
    case EROFS:
        return QStringLiteral("磁碟只能讀取");
    case EACCES:
    case EPERM:
        return QStringLiteral("沒有寫入的權限");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("資料夾不存在");
    case EIO:
        return QStringLiteral("磁碟讀寫錯誤");
    default:
        return QStringLiteral("系統錯誤 %1").arg(error);
    }
}

} // namespace morvessa
