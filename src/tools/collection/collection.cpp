#include "tools/collection/collection.h"

#include "tools/collection/collectionfiles.h"
#include "tools/collection/desktopentry.h"

#include "base/filereplace.h"
#include "base/result.h"

#include "store/mdbreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace morvessa::collection {

namespace {

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// The folder a collection is known by: its real path, or, once it is gone, the path as given.
QString collectionKey(const QString &folder)
{
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

Outcome failure(const QString &message)
{
    return {Outcome::Failed, message, {}};
}

// The collection's real path, once it is sure that a menu entry for it would work.
Result<QString> addableFolder(const QString &folderArgument, const Installation &installation)
{
    const QFileInfo info(folderArgument);
    if (!info.isDir())
        return Failure{QStringLiteral("找不到資料夾%1。").arg(quoted(folderArgument))};
    const QString folder = info.canonicalFilePath();
    if (hasControlCharacters(folder))
        return Failure{QStringLiteral("資料夾%1的名稱含有控制字元，無法寫進選單項目。").arg(quoted(folder))};
    if (!QFileInfo(folder + QStringLiteral("/jst.mdb")).isFile())
        return Failure{
            QStringLiteral(
                "資料夾%1中沒有資料庫檔案 jst.mdb，不是資料集；請先把 jst.mdb 與它的網頁放進這個資料夾。")
                .arg(quoted(folder))};
    // A menu entry for a file the program cannot read would only open on an error.
    if (const TableResult read = readMaindata(folder + QStringLiteral("/jst.mdb"), ContentForm::Folded); !read)
        return Failure{read.message() + QStringLiteral("沒有變更任何檔案。")};
    if (!QFileInfo(installation.program).isExecutable())
        return Failure{QStringLiteral("找不到程式%1。").arg(quoted(installation.program))};
    return folder;
}

// What this run made, removed again when a later step fails.
struct MadeNow {
    QStringList paths;
    void undo() const
    {
        for (const QString &path : paths)
            QFile::remove(path);
    }
};

// The link the entry starts: one made here before may be pointed at this program;
// anything else of that name is the user's, and is used as it is if it runs.
Result<QString> placeProgramLink(const QString &folder, const QString &program, Made &made, MadeNow &madeNow)
{
    const QString start = folder + QLatin1Char('/') + kProgramName;
    const bool ourLink = !made.link.isEmpty() && isLink(start) && linkTarget(start) == made.link;
    if (ourLink && made.link != program)
        QFile::remove(start);
    if (!isTaken(start)) {
        if (!QFile::link(program, start))
            return Failure{
                QStringLiteral("無法在資料夾%1中建立程式的連結（資料夾可能是唯讀的）。").arg(quoted(folder))};
        made.link = program;
        madeNow.paths << start;
    } else if (!ourLink) {
        made.link.clear();
        const QFileInfo existing(start);
        if (!existing.isFile() || !existing.isExecutable())
            return Failure{
                QStringLiteral("%1已經存在，卻不是可以執行的程式；沒有變更任何檔案。").arg(quoted(start))};
    }
    return start;
}

// Copies the sample's pages the folder lacks; gives the names the sample lacks too.
Result<QStringList> copyMissingPages(const QString &folder, const QString &sampleFolder, Made &made,
                                     MadeNow &madeNow)
{
    QStringList missingPages;
    for (const QString &page : kPages) {
        const QString target = folder + QLatin1Char('/') + page;
        if (isTaken(target))
            continue;
        made.copies.erase(page);
        const QString source = sampleFolder + QLatin1Char('/') + page;
        if (sampleFolder.isEmpty() || !QFileInfo(source).isFile()) {
            missingPages << page;
            continue;
        }
        if (!QFile::copy(source, target))
            return Failure{QStringLiteral("無法把%1複製到資料夾%2。").arg(quoted(source), quoted(folder))};
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
        made.copies[page] = fileDigest(target);
        madeNow.paths << target;
    }
    return missingPages;
}

bool writeEntry(const QString &entryPath, const QByteArray &text)
{
    if (!QDir().mkpath(QFileInfo(entryPath).path()))
        return false;
    NewFileBeside entry(QFile::encodeName(entryPath), 0644);
    return !entry.error() && entry.write(text) == 0 && entry.commit(NewFileBeside::Sync::Yes) == 0;
}

QString addedMessage(const QString &folder, const QString &entryPath, const QStringList &missingPages)
{
    QString message = QStringLiteral("已把資料集%1加入選單：%2").arg(quoted(folder), quoted(entryPath));
    if (folder.contains(QLatin1Char('%')))
        message += QStringLiteral("\n資料夾的路徑含有「%」：有些桌面不會顯示這個選單項目，把資料夾改名即可避免。");
    if (!missingPages.isEmpty())
        message +=
            QStringLiteral("\n找不到範例資料集中的 %1，沒有複製。").arg(missingPages.join(QStringLiteral("、")));
    return message;
}

} // namespace

Installation findInstallation(const QString &toolFolder, const QString &sampleRelative)
{
    Installation installation;
    installation.program = toolFolder + QLatin1Char('/') + kProgramName;
    const QString shared = QDir::cleanPath(toolFolder + QLatin1Char('/') + sampleRelative);
    for (const QString &candidate : {shared, toolFolder}) {
        if (QFileInfo(candidate + QStringLiteral("/jst.mdb")).isFile()) {
            installation.sampleFolder = candidate;
            break;
        }
    }
    return installation;
}

QString applicationsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
}

QString userSampleFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/morvessa/sample");
}

Outcome addCollection(const QString &folderArgument, const Installation &installation)
{
    const Result<QString> addable = addableFolder(folderArgument, installation);
    if (!addable)
        return failure(addable.message());
    const QString &folder = *addable;
    const QString entryPath = applicationsFolder() + QLatin1Char('/') + desktopFileName(folder);
    Made made;
    readEntry(entryPath, made); // a collection added before keeps what it made then
    made.folder = folder;

    MadeNow madeNow;
    const Result<QString> start = placeProgramLink(folder, installation.program, made, madeNow);
    if (!start)
        return failure(start.message());
    const Result<QStringList> missingPages = copyMissingPages(folder, installation.sampleFolder, made, madeNow);
    if (!missingPages) {
        madeNow.undo();
        return failure(missingPages.message());
    }
    if (!writeEntry(entryPath, entryText(folder, *start, made))) {
        madeNow.undo();
        return failure(QStringLiteral("無法寫入選單項目%1；沒有變更任何檔案。").arg(quoted(entryPath)));
    }
    return {Outcome::Done, addedMessage(folder, entryPath, *missingPages), entryPath};
}

Outcome removeCollection(const QString &folderArgument)
{
    const QString folder = collectionKey(folderArgument);
    const QString entryPath = applicationsFolder() + QLatin1Char('/') + desktopFileName(folder);
    Made made;
    if (!readEntry(entryPath, made) || made.folder != folder)
        return {Outcome::NotAdded,
                QStringLiteral("選單中沒有資料集%1的項目；沒有刪除任何檔案。").arg(quoted(folder)),
                {}};

    // Only what the entry says was made here, and only while it is still as it was made.
    QStringList kept;
    const QString start = folder + QLatin1Char('/') + kProgramName;
    if (!made.link.isEmpty() && isLink(start)) {
        if (linkTarget(start) == made.link)
            QFile::remove(start);
        else
            kept << start;
    }
    for (const auto &[page, digest] : made.copies) {
        const QString path = folder + QLatin1Char('/') + page;
        if (!QFileInfo::exists(path))
            continue;
        if (!isLink(path) && fileDigest(path) == digest)
            QFile::remove(path);
        else
            kept << path;
    }
    if (!QFile::remove(entryPath))
        return failure(QStringLiteral("無法刪除選單項目%1。").arg(quoted(entryPath)));
    QString message = QStringLiteral("已從選單移除資料集%1：%2").arg(quoted(folder), quoted(entryPath));
    for (const QString &path : kept)
        message += QStringLiteral("\n%1在加入後被改過，保留未刪。").arg(quoted(path));
    return {Outcome::Done, message, entryPath};
}

} // namespace morvessa::collection
