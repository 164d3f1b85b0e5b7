#include "store/readmessages.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace morvessa {

namespace {

QString systemError(int error)
{
    return QStringLiteral("（系統錯誤 %1：%2）").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

namespace {

QString failureMessage(ReadStatus status, const std::string &detail, const QString &path)
{
    const QString column = QString::fromStdString(detail);
    switch (status) {
    case ReadOk:
        break;
    case NotADatabase:
        return QStringLiteral("無法開啟資料庫檔案「%1」：這不是 Access 資料庫，或檔案已損毀。").arg(path);
    case NoTable:
        return QStringLiteral("資料庫檔案「%1」中沒有資料表 maindata。").arg(path);
    case MissingColumn:
        return QStringLiteral("資料庫檔案「%1」的資料表 maindata 缺少欄位 %2。").arg(path, column);
    case UnsupportedColumn:
        return QStringLiteral("資料庫檔案「%1」的資料表 maindata 中，欄位 %2 的資料型別無法使用。")
            .arg(path, column);
    case Damaged:
        break;
    }
    return QStringLiteral("資料庫檔案「%1」已損毀，無法讀取資料表 maindata。").arg(path);
}

} // namespace

ReadFailure readFailure(ReadStatus status, const QString &path, std::string detail)
{
    ReadFailure failure;
    failure.message = failureMessage(status, detail, path);
    failure.status = status;
    failure.detail = std::move(detail);
    return failure;
}

QString openFailureMessage(const QString &path, int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("找不到資料庫檔案「%1」。Morvessa 只讀取它被啟動時所在的資料夾：要開啟自己的資料集，"
                              "請執行 morvessa-add-collection 資料夾，再從選單開啟它；"
                              "或把程式的連結放進含 jst.mdb 的資料夾，從那裡啟動。")
            .arg(path);
    case EACCES:
    case EPERM:
        return QStringLiteral("沒有權限讀取資料庫檔案「%1」：檔案或它所在的資料夾不允許這個使用者讀取。")
            .arg(path);
    case EISDIR:
        return QStringLiteral("資料庫檔案「%1」是一個資料夾，不是檔案。").arg(path);
    case ELOOP:
        return QStringLiteral("無法開啟資料庫檔案「%1」：路徑中的連結繞成了圈。").arg(path);
    case ENAMETOOLONG:
        return QStringLiteral("無法開啟資料庫檔案「%1」：路徑太長。").arg(path);
    default:
        return QStringLiteral("無法開啟資料庫檔案「%1」%2。").arg(path, systemError(error));
    }
}

QString notAFileMessage(const QString &path)
{
    return QStringLiteral("資料庫檔案「%1」不是一般檔案。").arg(path);
}

QString stalledMessage(const QString &path, int seconds)
{
    return QStringLiteral("資料庫檔案「%1」無法在時限內讀取：讀取已有 %2 秒沒有進展，因此停止。")
        .arg(path)
        .arg(seconds);
}

QString readerMissingMessage(const QString &path, const QString &program)
{
    return QStringLiteral(
               "無法讀取資料庫檔案「%1」：找不到讀取資料庫的程式「%2」，它應該和本程式放在同一個資料夾。")
        .arg(path, program);
}

QString readerEndedMessage(const QString &path)
{
    return QStringLiteral("無法讀取資料庫檔案「%1」：讀取程式意外結束。").arg(path);
}

QString readerFailedMessage(const QString &path, const QString &program)
{
    return QStringLiteral("無法讀取資料庫檔案「%1」：讀取資料庫的程式「%2」無法啟動。").arg(path, program);
}

QString columnFileWriteMessage(const QString &file, int error)
{
    return QStringLiteral("無法寫入欄位檔「%1」%2。").arg(file, systemError(error));
}

QString columnFileMapMessage(const QString &file, int error)
{
    return QStringLiteral("欄位檔「%1」寫入後無法映射到記憶體，因此無法完成%2。").arg(file, systemError(error));
}

} // namespace morvessa
