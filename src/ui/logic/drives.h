#pragma once
// The drives of the condition file window on a system without drive letters: the root
// folder, the home folder and the mounted volumes the user can read that hold files of
// their own (disks, memory sticks, network shares), each by its mount point.
#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace morvessa {

struct Drive {
    QString root;  // mount point, e.g. "/" or "/media/user/USB"; the home folder
    QString label; // volume name; may be empty
    // What the drive list shows: the mount point, then the name when there is one.
    QString display() const;
};

// One line of the system's mount table.
struct Mount {
    QString root;      // mount point
    QByteArray type;   // file system type, e.g. "ext4", "vfat", "proc"
    QString name;      // volume name; may be empty
    QByteArray device; // what is mounted, e.g. "/dev/sdb1"
};

// The drives in list order: the root folder, the home folder, then the mounts that hold
// files of the user's own and that readable says the user can read, sorted by mount
// point. Left out: the system's own mounts (/proc, /sys, /dev, /boot, /usr and the like),
// file systems that hold no user files (memory, control and layered file systems), hidden
// places, and further views of the root's own volume (folders bound elsewhere).
QList<Drive> drivesOf(const QList<Mount> &mounts, const QString &home,
                      const std::function<bool(const QString &root)> &readable);

// drivesOf the system's mount table, the user's home folder and read permission.
QList<Drive> mountedDrives();

// The drive among drives that holds path: the one with the longest mount point that
// path lies under. Returns -1 when none does.
qsizetype driveOf(const QList<Drive> &drives, const QString &path);

// A drive is ready when its mount point is still a folder the user can read.
bool driveReady(const QString &root);

// Each drive keeps its own current folder for the whole run, as drive letters do:
// choosing a drive goes back to the folder last used on it (its root the first time).
// Folders are the file system's bytes (see filenames.h).
void rememberDriveFolder(const QString &root, const QByteArray &folder);
QByteArray driveFolder(const QString &root);

} // namespace morvessa
