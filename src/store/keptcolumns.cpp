#include "store/keptcolumns.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/mman.h>
#include <unistd.h>

namespace morvessa {

namespace {

constexpr int kKeptEntries = 6;

std::mutex g_folderMutex;
std::optional<QString> g_folder;

QString entryPath(const QString &folder, const ColumnFileStamp &stamp)
{
    char name[40];
    std::snprintf(name, sizeof name, "%016llx%016llx", static_cast<unsigned long long>(stamp.pathKey[0]),
                  static_cast<unsigned long long>(stamp.pathKey[1]));
    return folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".columns");
}

// One file a source and derivation; a changed source leaves the old one to be pruned.
QString derivedPath(const QString &folder, const DerivedColumnKey &key)
{
    char name[40];
    std::snprintf(name, sizeof name, "%016llx%016llx", static_cast<unsigned long long>(key.source),
                  static_cast<unsigned long long>(key.derivation));
    return folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".derived");
}

std::int64_t nanoseconds(const timespec &t)
{
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Keeps the most recently used entries; also clears temporary files a crash left behind.
void prune(const QString &folder)
{
    QDir dir(folder);
    for (const QString &kind : {QStringLiteral("*.columns"), QStringLiteral("*.derived")}) {
        const QFileInfoList entries = dir.entryInfoList({kind}, QDir::Files | QDir::Hidden, QDir::Time);
        for (qsizetype i = kKeptEntries; i < entries.size(); ++i)
            QFile::remove(entries[i].absoluteFilePath());
    }
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    for (const QFileInfo &t : dir.entryInfoList({QStringLiteral("reading-*")}, QDir::Files | QDir::Hidden))
        if (t.lastModified() < dayAgo)
            QFile::remove(t.absoluteFilePath());
}

} // namespace

QString keptColumnsFolder()
{
    const std::lock_guard lock(g_folderMutex);
    if (g_folder)
        return *g_folder;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return cache.isEmpty() ? QString() : cache + QStringLiteral("/morvessa/columns");
}

void setKeptColumnsFolder(const QString &folder)
{
    const std::lock_guard lock(g_folderMutex);
    g_folder = folder;
}

DatabaseIdentity identityOf(int fd, const struct stat &st)
{
    DatabaseIdentity id;
    id.size = std::uint64_t(st.st_size);
    id.inode = std::uint64_t(st.st_ino);
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

std::shared_ptr<const StoreTable> openKept(const ColumnFileStamp &stamp, bool contentFolded)
{
    const QString folder = keptColumnsFolder();
    if (folder.isEmpty())
        return nullptr;
    return openKeptFile(entryPath(folder, stamp), [&](int fd) {
        ReadFailure failure;
        return mapColumnFile(fd, contentFolded, &stamp, true, failure);
    });
}

std::optional<MappedColumn> openKeptDerived(const DerivedColumnKey &key, std::span<const std::uint8_t> isNull)
{
    const QString folder = keptColumnsFolder();
    if (folder.isEmpty() || !key.source)
        return std::nullopt;
    return openKeptFile(derivedPath(folder, key), [&](int fd) { return mapDerivedColumnFile(fd, key, isNull); });
}

void keepDerived(const DerivedColumnKey &key, const TextColumn &column)
{
    if (!key.source)
        return;
    NewColumnFile file;
    if (file.inFolder() && writeDerivedColumnFile(file.fd(), key, column))
        file.keep(key);
}

NewColumnFile::NewColumnFile(Where where) : m_folder(where == InKeptFolder ? keptColumnsFolder() : QString())
{
    if (!m_folder.isEmpty() && QDir().mkpath(m_folder)) {
        QByteArray name = QFile::encodeName(m_folder + QStringLiteral("/reading-XXXXXX"));
        m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (m_fd >= 0)
            m_temporary = QFile::decodeName(name);
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

void NewColumnFile::keep(const DerivedColumnKey &key)
{
    if (!m_temporary.isEmpty())
        keepAs(derivedPath(m_folder, key));
}

void NewColumnFile::keepAs(const QString &path)
{
    if (::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(path).constData()) == 0)
        m_temporary.clear();
    prune(m_folder);
}

} // namespace morvessa
