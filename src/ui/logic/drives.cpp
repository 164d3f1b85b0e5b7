#include "ui/logic/drives.h"

#include "ui/logic/filenames.h"
#include "ui/logic/folderlisting.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

namespace morvessa {

namespace {

// File systems that hold files of the user's own: disks, memory cards and sticks,
// optical discs and network shares.
bool holdsUserFiles(const QByteArray &type)
{
    static const QSet<QByteArray> types = {
        "ext2",   "ext3", "ext4",  "xfs",   "btrfs", "jfs",        "reiserfs", "f2fs",    "zfs",     "bcachefs",
        "nilfs2", "vfat", "msdos", "exfat", "ntfs",  "ntfs3",      "fuseblk",  "hfs",     "hfsplus", "iso9660",
        "udf",    "nfs",  "nfs4",  "cifs",  "smb3",  "fuse.sshfs", "9p",       "virtiofs"};
    return types.contains(type);
}

bool liesUnder(const QString &path, const QString &root)
{
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

// The system's own folders: what is mounted there belongs to the system, even when it
// is a disk (the boot partition, a package image, a driver share).
bool isSystemPlace(const QString &root)
{
    static const QString places[] = {QStringLiteral("/proc"), QStringLiteral("/sys"),  QStringLiteral("/dev"),
                                     QStringLiteral("/run"),  QStringLiteral("/boot"), QStringLiteral("/efi"),
                                     QStringLiteral("/snap"), QStringLiteral("/usr"),  QStringLiteral("/etc"),
                                     QStringLiteral("/var"),  QStringLiteral("/lib"),  QStringLiteral("/lib64"),
                                     QStringLiteral("/bin"),  QStringLiteral("/sbin")};
    if (liesUnder(root, QStringLiteral("/run/media")))
        return false; // where removable media appear
    return std::any_of(std::begin(places), std::end(places),
                       [&](const QString &place) { return liesUnder(root, place); });
}

QHash<QString, QByteArray> &driveFolders()
{
    static QHash<QString, QByteArray> folders;
    return folders;
}

} // namespace

QString Drive::display() const
{
    if (label.isEmpty() || label == root)
        return root;
    return root + QStringLiteral("  [") + label + QLatin1Char(']');
}

QList<Drive> drivesOf(const QList<Mount> &mounts, const QString &home,
                      const std::function<bool(const QString &)> &readable)
{
    QList<Drive> drives{{QStringLiteral("/"), QString()}};
    if (!home.isEmpty() && home != QLatin1String("/"))
        drives.append(Drive{home, QStringLiteral("家目錄")});

    QByteArray rootDevice;
    for (const Mount &m : mounts)
        if (m.root == QLatin1String("/"))
            rootDevice = m.device;

    QList<Drive> volumes;
    for (const Mount &m : mounts) {
        if (m.root.isEmpty() || !holdsUserFiles(m.type) || isSystemPlace(m.root) ||
            m.root.contains(QLatin1String("/.")) || (!rootDevice.isEmpty() && m.device == rootDevice))
            continue;
        const auto same = [&](const Drive &d) { return d.root == m.root; };
        if (std::any_of(drives.begin(), drives.end(), same) || std::any_of(volumes.begin(), volumes.end(), same) ||
            !readable(m.root))
            continue;
        volumes.append(Drive{m.root, m.name});
    }
    std::sort(volumes.begin(), volumes.end(), [](const Drive &a, const Drive &b) { return a.root < b.root; });
    return drives + volumes;
}

QList<Drive> mountedDrives()
{
    QList<Mount> mounts;
    for (const QStorageInfo &info : QStorageInfo::mountedVolumes())
        mounts.append(Mount{info.rootPath(), info.fileSystemType(), info.name(), info.device()});
    return drivesOf(mounts, QDir::homePath(), driveReady);
}

qsizetype driveOf(const QList<Drive> &drives, const QString &path)
{
    qsizetype best = -1;
    for (qsizetype i = 0; i < drives.size(); ++i) {
        if (!liesUnder(path, drives[i].root))
            continue;
        if (best < 0 || drives[i].root.size() > drives[best].root.size())
            best = i;
    }
    return best;
}

bool driveReady(const QString &root)
{
    return canOpenFolder(nativePath(root));
}

void rememberDriveFolder(const QString &root, const QByteArray &folder)
{
    driveFolders().insert(root, folder);
}

QByteArray driveFolder(const QString &root)
{
    const QByteArray nativeRoot = nativePath(root);
    QByteArray folder = driveFolders().value(root, nativeRoot);
    // The folder may have gone since; fall back to the nearest folder above it.
    while (folder != nativeRoot && folder.startsWith(nativeRoot) && !canOpenFolder(folder))
        folder = parentFolder(folder);
    return folder.startsWith(nativeRoot) ? folder : nativeRoot;
}

} // namespace morvessa
