#include "tools/collection/collection.h"
#include "tools/collection/collectionfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace morvessa::collection {

QString prepareSampleFolder(const Installation &installation, const QString &target, QString &error)
{
    if (installation.sampleFolder.isEmpty()) {
        error = QStringLiteral("找不到範例資料集：程式旁邊與安裝的 share/morvessa/sample 中都沒有 jst.mdb。");
        return {};
    }
    if (!QDir().mkpath(target)) {
        error = QStringLiteral("無法建立資料夾%1。").arg(quoted(target));
        return {};
    }
    const QFileInfoList entries =
        QDir(installation.sampleFolder)
            .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        // The programs of a build folder are not part of the collection, nor is its temporary page.
        if (entry.fileName() == QLatin1String("tmp") || (entry.isFile() && entry.isExecutable()))
            continue;
        const QString link = target + QLatin1Char('/') + entry.fileName();
        if (!isTaken(link))
            QFile::link(entry.absoluteFilePath(), link);
    }
    // This folder is the launcher's own: a link left by another installation is pointed anew.
    const QString start = target + QLatin1Char('/') + kProgramName;
    if (isLink(start) && linkTarget(start) != installation.program)
        QFile::remove(start);
    if (!isTaken(start) && !QFile::link(installation.program, start)) {
        error = QStringLiteral("無法在資料夾%1中建立程式的連結。").arg(quoted(target));
        return {};
    }
    if (!QFileInfo(start).isExecutable()) {
        error = QStringLiteral("%1不是可以執行的程式。").arg(quoted(start));
        return {};
    }
    return start;
}

} // namespace morvessa::collection
