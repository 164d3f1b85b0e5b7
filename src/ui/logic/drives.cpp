#include "ui/logic/drives.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStorageInfo>

#include <algorithm>

namespace morvessa {

namespace {

bool isMediaMount(const QString &root)
{
    static const QString prefixes[] = {QStringLiteral("/media/"), QStringLiteral("/run/media/"),
                                       QStringLiteral("/mnt/")};
    if (root == QLatin1String("/mnt"))
        return true;
    return std::any_of(std::begin(prefixes), std::end(prefixes),
                       [&](const QString &p) { return root.startsWith(p); });
}

bool liesUnder(const QString &path, const QString &root)
{
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

QHash<QString, QString> &driveFolders()
{
    static QHash<QString, QString> folders;
    return folders;
}

} // namespace

QString Drive::display() const
{
    if (label.isEmpty() || label == root)
        return root;
    return root + QStringLiteral("  [") + label + QLatin1Char(']');
}

QList<Drive> mountedDrives()
{
    QList<Drive> drives;
    auto add = [&](const QStorageInfo &info) {
        const QString root = info.rootPath();
        if (root.isEmpty())
            return;
        for (const Drive &d : drives)
            if (d.root == root)
                return;
        drives.append(Drive{root, info.name()});
    };

    add(QStorageInfo::root());
    add(QStorageInfo(QDir::homePath()));

    QList<Drive> media;
    for (const QStorageInfo &info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid() || !info.isReady() || !isMediaMount(info.rootPath()))
            continue;
        media.append(Drive{info.rootPath(), info.name()});
    }
    std::sort(media.begin(), media.end(),
              [](const Drive &a, const Drive &b) { return a.root < b.root; });
    for (const Drive &d : media)
        if (std::none_of(drives.begin(), drives.end(),
                         [&](const Drive &e) { return e.root == d.root; }))
            drives.append(d);
    return drives;
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
    const QFileInfo dir(root);
    if (!dir.isDir() || !dir.isReadable() || !dir.isExecutable())
        return false;
    const QStorageInfo info(root);
    return info.isValid() && info.isReady() && info.rootPath() == root;
}

void rememberDriveFolder(const QString &root, const QString &folder)
{
    driveFolders().insert(root, folder);
}

QString driveFolder(const QString &root)
{
    QString folder = driveFolders().value(root, root);
    // The folder may have gone since; fall back to the nearest folder above it.
    while (folder != root && liesUnder(folder, root) && !QFileInfo(folder).isDir())
        folder = QFileInfo(folder).path();
    return liesUnder(folder, root) ? folder : root;
}

} // namespace morvessa
