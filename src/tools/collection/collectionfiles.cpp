#include "tools/collection/collectionfiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace morvessa::collection {

QString quoted(const QString &path)
{
    return QStringLiteral("「%1」").arg(QDir::toNativeSeparators(path));
}

bool isLink(const QString &path)
{
    return QFileInfo(path).isSymLink();
}

bool isTaken(const QString &path)
{
    return QFileInfo::exists(path) || isLink(path);
}

QString linkTarget(const QString &path)
{
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(path.toStdString(), error);
    return error ? QString() : QString::fromStdString(target.string());
}

QByteArray fileDigest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

} // namespace morvessa::collection
