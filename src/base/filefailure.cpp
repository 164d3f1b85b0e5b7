// What the user is told when a file cannot be read or replaced.
#include "base/fileio.h"

#include <QFile>

#include <cerrno>

namespace morvessa {

namespace fileio {

FileFailure failed(FileFailure::Kind kind, int error, bool oldKept)
{
    FileFailure f;
    f.kind = kind;
    f.error = error;
    f.oldKept = oldKept;
    return f;
}

namespace {

QString quoted(const QString &path)
{
    return QStringLiteral("「") + path + QStringLiteral("」");
}

QString shownAs(const QByteArray &path, const QString &shown)
{
    return quoted(shown.isEmpty() ? QFile::decodeName(path) : shown);
}

} // namespace

FileFailure readFailure(FileFailure f, const QByteArray &path, qint64 limit, const QString &shownName)
{
    const QString shown = shownAs(path, shownName);
    switch (f.kind) {
    case FileFailure::Missing:
        f.message = QStringLiteral("找不到檔案%1，它可能已被移走或刪除。").arg(shown);
        break;
    case FileFailure::NotAFile:
        f.message = QStringLiteral("%1不是檔案，無法讀取。").arg(shown);
        break;
    case FileFailure::NoPermission:
        f.message = QStringLiteral("沒有讀取檔案%1的權限。").arg(shown);
        break;
    case FileFailure::TooLarge:
        f.message = QStringLiteral("檔案%1超過 %2 MB，沒有讀入。").arg(shown).arg(limit / (1024 * 1024));
        break;
    default:
        f.message = QStringLiteral("讀取檔案%1時發生錯誤（%2）。").arg(shown, systemErrorText(f.error));
        break;
    }
    return f;
}

FileFailure replaceFailure(FileFailure f, const QByteArray &path, const QString &shownName)
{
    const QString shown = shownAs(path, shownName);
    switch (f.kind) {
    case FileFailure::NotAFile:
        f.message = QStringLiteral("%1不是檔案，無法存檔。").arg(shown);
        break;
    case FileFailure::Missing:
        f.message = QStringLiteral("%1是一個連結，但它指向的檔案不存在，沒有存檔；連結沒有變更。").arg(shown);
        break;
    case FileFailure::ReadOnly:
        f.message = QStringLiteral("檔案%1是唯讀檔，沒有存檔。").arg(shown);
        break;
    case FileFailure::CannotCreate:
        f.message = QStringLiteral("無法在檔案%1所在的資料夾建立檔案（%2），沒有存檔。")
                        .arg(shown, systemErrorText(f.error));
        break;
    default:
        f.message = f.oldKept ? QStringLiteral("寫入檔案%1失敗（%2），沒有存檔；原檔案沒有變更。")
                                    .arg(shown, systemErrorText(f.error))
                              : QStringLiteral("寫入檔案%1失敗（%2），原來的內容也無法寫回，檔案可能已經損壞。")
                                    .arg(shown, systemErrorText(f.error));
        break;
    }
    return f;
}

} // namespace fileio

// Why a read or write failed, for the user.
QString systemErrorText(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁碟空間不足");
    case EDQUOT:
        return QStringLiteral("超過磁碟配額");
    case EFBIG:
        return QStringLiteral("超過檔案大小的上限");
    case EROFS:
        return QStringLiteral("磁碟只能讀取");
    case EACCES:
    case EPERM:
        return QStringLiteral("沒有寫入的權限");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("資料夾不存在");
    case EIO:
        return QStringLiteral("磁碟讀寫錯誤");
    default:
        return QStringLiteral("系統錯誤 %1").arg(error);
    }
}

} // namespace morvessa
