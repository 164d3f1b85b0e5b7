#pragma once
// Within base: the descriptor-level steps that reading and replacing files share.
#include "base/filereplace.h"

#include <QByteArray>

#include <sys/types.h>

namespace morvessa::fileio {

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

// Writes every byte at offset through writeAtCall(), or tells the errno of the call that
// stopped it.
int writeAll(int fd, const char *data, size_t size, off_t offset);
// Reads the whole file; EIO when it grows meanwhile.
int readAll(int fd, QByteArray *out);
// fsync, as an errno (0 when it succeeded).
int syncCall(int fd);
QByteArray folderOf(const QByteArray &path);
QByteArray nameOf(const QByteArray &path);

// Writes bytes into the file itself, never leaving it half written when it can be helped.
Result<ReplaceWay, FileFailure> writeInPlace(const QByteArray &path, const QByteArray &bytes);

// A failure without its message yet: the public functions add it, naming the path given.
FileFailure failed(FileFailure::Kind kind, int error, bool oldKept = true);
// The failure of a read or a replace with its message for the user.
FileFailure readFailure(FileFailure f, const QByteArray &path, qint64 limit, const QString &shownName);
FileFailure replaceFailure(FileFailure f, const QByteArray &path, const QString &shownName);

} // namespace morvessa::fileio
