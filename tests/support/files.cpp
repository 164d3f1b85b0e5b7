#include "files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace morvessa::test {

bool copyTree(const QString &from, const QString &to)
{
    bool ok = QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (it.fileInfo().isDir()) {
            ok = QDir().mkpath(target) && ok;
            continue;
        }
        QDir().mkpath(QFileInfo(target).path());
        if (!QFile::copy(source, target)) {
            ok = false;
            continue;
        }
        QFile::setPermissions(target, QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner);
    }
    return ok;
}

} // namespace morvessa::test
