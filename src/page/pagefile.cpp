#include "page/pagefile.h"

#include "page/marking.h"
#include "page/pagelookup.h"
#include "store/appfolder.h"

#include "base/filereplace.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <new>
#include <sys/stat.h>

namespace morvessa {

QString recordPagePath(const QString &folder)
{
    return appPath(folder, QStringLiteral("\\tmp\\TmpKELMAR.htm"));
}

namespace {

UnwritableFolder unwritable(const QString &folder)
{
    UnwritableFolder failure;
    failure.message = QStringLiteral("無法寫入資料夾 %1，頁面沒有寫出。").arg(QDir::toNativeSeparators(folder));
    failure.folder = folder;
    return failure;
}

} // namespace

Result<void, UnwritableFolder> WriteRecordPage(const QString &folder, const QString &pagePath,
                                               const QString &pageName, const QString &keywordText,
                                               const MarkingFold *fold)
{
    try {
        const QFileInfo target(pagePath);
        const QString tmpFolder = target.absolutePath();
        // The folder named is the one to put right: tmp where it stands but is no real
        // folder, else the collection's own folder, where tmp could not be made.
        const QString blamed = QFileInfo(tmpFolder).isDir() ? tmpFolder : QFileInfo(tmpFolder).absolutePath();
        if (!prepareTmpFolder(tmpFolder))
            return unwritable(blamed);

        QByteArray page;
        const QString source = sourcePagePath(folder, pageName);
        if (!source.isEmpty()) {
            QFile file(source);
            if (file.open(QIODevice::ReadOnly)) {
                page = file.readAll();
                if (file.error() != QFileDevice::NoError)
                    page.clear();
            }
        }

        const QByteArray marked = fold ? markKeywords(page, keywordText, *fold) : markKeywords(page, keywordText);

        // Replaced in one step: the browser pane may still be reading the previous page,
        // and a page that cannot be replaced keeps its earlier content. Not forced to disk:
        // the page is rewritten on every row change, and the wait for the disk took most of
        // the time of a row change.
        NewFileBeside out(QFile::encodeName(pagePath), 0644);
        if (!out.error() && out.write(marked) == 0 && out.commit(NewFileBeside::Sync::No) == 0)
            return {};
        return unwritable(blamed);
    } catch (const std::bad_alloc &) { // a page too large to mark: the only throw of the body
        return unwritable(QFileInfo(pagePath).absolutePath());
    }
}

QString unreadablePageNotice(const QString &pageName, const QString &reason)
{
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>無法讀取頁面</title></head>"
               "<body style=\"font-family: 'PMingLiU', serif; margin: 1.5em; line-height: 1.6\">"
               "<p style=\"font-size: 1.2em; font-weight: bold; color: #800000\">無法讀取這筆資料的頁面</p>"
               "<p style=\"word-break: break-all\">%1</p>"
               "<p>%2。請確認資料集資料夾中有這個頁面檔案，而且可以讀取。</p>"
               "</body></html>")
        .arg(pageName.toHtmlEscaped(), reason.toHtmlEscaped());
}

bool prepareTmpFolder(const QString &tmpFolder)
{
    const QByteArray name = QFile::encodeName(tmpFolder);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT || ::mkdir(name.constData(), 0755) != 0 || ::lstat(name.constData(), &st) != 0)
            return false;
    }
    return S_ISDIR(st.st_mode);
}

QString unwritableFolderPage(const QString &folder)
{
    const QString name = QDir::toNativeSeparators(folder).toHtmlEscaped();
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>無法寫入資料夾</title></head>"
                          "<body style=\"font-family: 'PMingLiU', serif; margin: 1.5em; line-height: 1.6\">"
                          "<p style=\"font-size: 1.2em; font-weight: bold; color: #800000\">無法寫入資料夾</p>"
                          "<p style=\"word-break: break-all\">%1</p>"
                          "<p>顯示每筆資料前，程式要先在這個資料夾寫入一個暫存頁，但這個資料夾不能寫入"
                          "（例如唯讀的資料夾或光碟）。請把整個資料集複製到可以寫入的地方，再從那裡開啟。</p>"
                          "</body></html>")
        .arg(name);
}

void deleteRecordPage(const QString &pagePath)
{
    if (fileExists(pagePath))
        QFile::remove(pagePath);
}

} // namespace morvessa
