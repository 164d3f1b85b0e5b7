#include "store/appfolder.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace morvessa {

QString applicationFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString appPath(const QString &folder, const QString &literal)
{
    QString tail = literal;
    tail.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return folder + tail;
}

bool fileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

} // namespace morvessa
