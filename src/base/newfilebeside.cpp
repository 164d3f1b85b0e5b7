#include "base/fileio.h"

#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace morvessa {

using namespace fileio;

namespace {

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

} // namespace morvessa
