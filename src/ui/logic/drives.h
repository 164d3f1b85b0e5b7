#pragma once
// The drives of the condition file window on a system without drive letters: the root
// folder, the home folder's volume and removable media, each a mount point.
#include <QList>
#include <QString>

namespace morvessa {

struct Drive {
    QString root;  // mount point, e.g. "/" or "/media/user/USB"
    QString label; // volume name; may be empty
    // What the drive list shows: the mount point, then the name when there is one.
    QString display() const;
};

// The drives in list order: the root folder first, then the home folder's volume when it
// is another one, then mounted media under /media, /run/media and /mnt, sorted by path.
QList<Drive> mountedDrives();

// The drive among drives that holds path: the one with the longest mount point that
// path lies under. Returns -1 when none does.
qsizetype driveOf(const QList<Drive> &drives, const QString &path);

// A drive is ready when its mount point is still a mounted, readable volume.
bool driveReady(const QString &root);

// Each drive keeps its own current folder for the whole run, as drive letters do:
// choosing a drive goes back to the folder last used on it (its root the first time).
void rememberDriveFolder(const QString &root, const QString &folder);
QString driveFolder(const QString &root);

} // namespace morvessa
