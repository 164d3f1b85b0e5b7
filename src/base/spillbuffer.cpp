#include "base/spillbuffer.h"

#include "base/filesizelimit.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace morvessa {

namespace {

int unnamedFile(const QString &folder)
{
    const QByteArray dir = QFile::encodeName(folder.isEmpty() ? QDir::tempPath() : folder);
#ifdef O_TMPFILE
    const int fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    // A file system without unnamed files: a named one, unlinked at once.
    QByteArray name = dir + "/.morvessa-spill-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.constData());
    return named;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

} // namespace

SpillBuffer::SpillBuffer(QString folder, std::size_t memoryLimit)
    : m_folder(std::move(folder)), m_limit(memoryLimit)
{}

SpillBuffer::~SpillBuffer()
{
    if (m_map)
        ::munmap(m_map, m_mapSize);
    if (m_fd >= 0)
        ::close(m_fd);
}

void SpillBuffer::append(std::string_view bytes)
{
    if (!m_inMemoryOnly && m_memory.size() + bytes.size() > m_limit && !m_memory.empty() && !spill())
        m_inMemoryOnly = true;
    m_memory.append(bytes);
}

bool SpillBuffer::spill()
{
    if (m_fd < 0) {
        letWritesPastTheSizeLimitFail();
        m_fd = unnamedFile(m_folder);
        if (m_fd < 0)
            return false;
    }
    if (!writeAll(m_fd, m_memory)) {
        // What did not fit stays in memory: the file keeps the bytes before it.
        if (::ftruncate(m_fd, off_t(m_spilled)) != 0 || ::lseek(m_fd, off_t(m_spilled), SEEK_SET) < 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        return false;
    }
    m_spilled += m_memory.size();
    m_memory.clear();
    return true;
}

std::optional<std::string_view> SpillBuffer::finish()
{
    if (m_map)
        return std::string_view(static_cast<const char *>(m_map), m_mapSize);
    if (m_fd < 0 && m_spilled > 0)
        return std::nullopt; // the file was lost on the way
    if (m_spilled == 0)
        return std::string_view(m_memory);
    if (!m_memory.empty() && (m_inMemoryOnly || !spill())) {
        // The rest did not go to the file: the file's bytes come back into memory before it.
        std::string whole(std::size_t(m_spilled), '\0');
        for (std::size_t at = 0; at < whole.size();) {
            const ssize_t n = ::pread(m_fd, whole.data() + at, whole.size() - at, off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return std::nullopt;
            at += std::size_t(n);
        }
        m_memory.insert(0, whole);
        m_spilled = 0;
        return std::string_view(m_memory);
    }
    void *map = ::mmap(nullptr, std::size_t(m_spilled), PROT_READ, MAP_SHARED, m_fd, 0);
    if (map == MAP_FAILED)
        return std::nullopt;
    m_map = map;
    m_mapSize = std::size_t(m_spilled);
    return std::string_view(static_cast<const char *>(m_map), m_mapSize);
}

} // namespace morvessa
