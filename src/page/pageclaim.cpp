#include "page/pageclaim.h"

#include "page/pagefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvessa {

namespace {

constexpr int kMaxPages = 99;
constexpr int kHeld = -2; // another owner holds the lock
constexpr int kNoLock = -1;

// Takes the lock on the file at path, making the file when needed. Returns its
// descriptor, kHeld, or kNoLock when no lock can be had there.
int lockFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Never through a link, and never a pipe or device: the collection decides what
        // stands in its tmp folder, and must not make the program write elsewhere or wait.
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
        if (fd < 0)
            return kNoLock;
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(fd);
            return kNoLock;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? kHeld : kNoLock;
        }
        // An owner that let go deletes the file; one that did so after the open above
        // leaves this lock on a file without a name. Then the name is taken afresh.
        struct stat opened {
        }, named{};
        if (::fstat(fd, &opened) == 0 && ::stat(name.constData(), &named) == 0 && opened.st_dev == named.st_dev &&
            opened.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
    return kNoLock;
}

} // namespace

RecordPageClaim::RecordPageClaim(const QString &folder) : m_path(recordPagePath(folder))
{
    const QString tmpFolder = QFileInfo(m_path).absolutePath();
    if (!prepareTmpFolder(tmpFolder))
        return;
    for (int n = 1; n <= kMaxPages; ++n) {
        const QString page = n == 1 ? m_path : tmpFolder + QStringLiteral("/TmpKELMAR-%1.htm").arg(n);
        const int lock = lockFile(page + QStringLiteral(".lock"));
        if (lock == kHeld)
            continue;
        if (lock == kNoLock)
            return;
        m_path = page;
        m_lockPath = page + QStringLiteral(".lock");
        m_lock = lock;
        return;
    }
}

RecordPageClaim::~RecordPageClaim()
{
    if (m_lock < 0)
        return;
    // Deleted while still locked: whoever opened it meanwhile sees it has no name any more.
    ::unlink(QFile::encodeName(m_lockPath).constData());
    ::close(m_lock);
}

} // namespace morvessa
