#include "store/keptcolumns.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace morvessa {

namespace {

QString entryPath(const QString &folder, const ColumnFileStamp &stamp)
{
    char name[40];
    std::snprintf(name, sizeof name, "%016llx%016llx", static_cast<unsigned long long>(stamp.pathKey[0]),
                  static_cast<unsigned long long>(stamp.pathKey[1]));
    return folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".columns");
}

// The folder's share of its disk when no test sets one.
constexpr std::uint64_t kShareOfDisk = 10; // percent

std::uint64_t byteLimit(const QString &folder, std::optional<std::uint64_t> set)
{
    if (set)
        return *set;
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return 0;
    return std::uint64_t(fs.f_blocks) * fs.f_frsize / 100 * kShareOfDisk;
}

// Bytes on disk: a file with holes counts what it takes, not what it claims.
std::uint64_t bytesOnDisk(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? std::uint64_t(st.st_blocks) * 512 : 0;
}

// Removes the temporaries of column files no running program writes any more (one killed
// while reading). A writer holds a lock on its temporary until it is kept or removed.
void removeLeftovers(const QString &folder)
{
    const QDir dir(folder);
    for (const QFileInfo &t : dir.entryInfoList({QStringLiteral("reading-*")}, QDir::Files | QDir::Hidden)) {
        const QByteArray path = QFile::encodeName(t.absoluteFilePath());
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(path.constData(), &named) == 0 && named.st_ino == held.st_ino && named.st_dev == held.st_dev)
            ::unlink(path.constData());
        ::close(fd);
    }
}

// Whether the kept file at path is a column file of another version (one that no start
// reads any more); a file that cannot be opened is left to the byte bound.
bool ofAnotherVersion(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool other = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !ofThisVersion(fd);
    ::close(fd);
    return other;
}

// Keeps the most recently used entries that fit in the folder's share of the disk, the
// newest always (a file too big for the share would otherwise be read afresh each start);
// also clears temporaries a killed program left behind, column files of other versions and
// the variant-folded columns earlier versions kept beside them.
void prune(const QString &folder, std::optional<std::uint64_t> byteLimitSet)
{
    const QDir dir(folder);
    const std::uint64_t limit = byteLimit(folder, byteLimitSet);
    for (const QFileInfo &old : dir.entryInfoList({QStringLiteral("*.derived")}, QDir::Files | QDir::Hidden))
        QFile::remove(old.absoluteFilePath());
    const QFileInfoList entries =
        dir.entryInfoList({QStringLiteral("*.columns")}, QDir::Files | QDir::Hidden, QDir::Time);
    std::uint64_t kept = 0;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QString path = entries[i].absoluteFilePath();
        if (ofAnotherVersion(path)) {
            QFile::remove(path);
            continue;
        }
        kept += bytesOnDisk(path);
        if (i > 0 && kept > limit)
            QFile::remove(path);
    }
    removeLeftovers(folder);
}

// Once a process and folder, before the first look into it.
void removeLeftoversOnce(const QString &folder)
{
    static std::mutex mutex;
    static QSet<QString> done;
    {
        const std::lock_guard lock(mutex);
        if (done.contains(folder))
            return;
        done.insert(folder);
    }
    removeLeftovers(folder);
}

} // namespace

QString defaultKeptColumnsFolder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return cache.isEmpty() ? QString() : cache + QStringLiteral("/morvessa/columns");
}

ColumnFileStamp stampFor(const QString &databasePath, bool contentFolded, const DatabaseIdentity &identity)
{
    QCryptographicHash digest(QCryptographicHash::Sha256);
    digest.addData(QFileInfo(databasePath).absoluteFilePath().toUtf8());
    digest.addData(contentFolded ? QByteArrayView("\0folded", 7) : QByteArrayView("\0as written", 11));
    const QByteArray d = digest.result();
    ColumnFileStamp stamp;
    std::memcpy(stamp.pathKey, d.constData(), sizeof stamp.pathKey);
    stamp.identity = identity;
    return stamp;
}

namespace {

// Opens the kept file at path and maps it with map; a mapped file is marked recently used
// (the last to be pruned).
template <typename Map>
auto openKeptFile(const QString &path, Map map) -> decltype(map(0))
{
    // Without blocking: a pipe or device put where a kept file goes is a miss, never a wait.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {};
    }
    auto mapped = map(fd);
    if (mapped)
        ::futimens(fd, nullptr);
    ::close(fd);
    return mapped;
}

} // namespace

std::shared_ptr<const StoreTable> openKept(const ColumnFileStamp &stamp, bool contentFolded,
                                           const ReadSettings &settings)
{
    const QString &folder = settings.keptFolder;
    if (folder.isEmpty())
        return nullptr;
    removeLeftoversOnce(folder);
    // A kept file that does not serve is read again: why it does not is nobody's message.
    const QString path = entryPath(folder, stamp);
    return openKeptFile(path, [&](int fd) {
        struct stat st {};
        ::fstat(fd, &st);
        // A kept file found damaged goes, so that the next read takes the database; one put
        // in its place meanwhile stays.
        auto forget = [name = QFile::encodeName(path), dev = st.st_dev, ino = st.st_ino] {
            struct stat now {};
            if (::lstat(name.constData(), &now) == 0 && now.st_dev == dev && now.st_ino == ino)
                ::unlink(name.constData());
        };
        auto mapped = mapColumnFile(fd, contentFolded, &stamp, true, QString(), forget);
        return mapped ? std::move(*mapped) : nullptr;
    });
}

NewColumnFile::NewColumnFile(Where where, const ReadSettings &settings)
    : m_folder(where == InKeptFolder ? settings.keptFolder : QString()), m_byteLimit(settings.keptByteLimit)
{
    if (!m_folder.isEmpty() && QDir().mkpath(m_folder)) {
        // Held locked while written, so that no other program takes it for a leftover; one
        // that took it first (and removes it) is waited for, and another name tried.
        for (int tries = 0; tries < 3 && m_fd < 0; ++tries) {
            QByteArray name = QFile::encodeName(m_folder + QStringLiteral("/reading-XXXXXX"));
            const int fd = ::mkostemp(name.data(), O_CLOEXEC);
            if (fd < 0)
                break;
            struct stat st {};
            if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
                m_fd = fd;
                m_temporary = QFile::decodeName(name);
            } else {
                ::close(fd);
            }
        }
    }
    if (m_fd < 0)
        m_fd = ::memfd_create("morvessa-columns", MFD_CLOEXEC);
}

NewColumnFile::~NewColumnFile()
{
    if (!m_temporary.isEmpty())
        ::unlink(QFile::encodeName(m_temporary).constData());
    if (m_fd >= 0)
        ::close(m_fd);
}

void NewColumnFile::keep(const ColumnFileStamp &stamp)
{
    if (!m_temporary.isEmpty() && stampColumnFile(m_fd, stamp))
        keepAs(entryPath(m_folder, stamp));
}

void NewColumnFile::keepAs(const QString &path)
{
    if (::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(path).constData()) == 0)
        m_temporary.clear();
    prune(m_folder, m_byteLimit);
}

} // namespace morvessa
