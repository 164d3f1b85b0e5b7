#include "ui/logic/filenames.h"

#include "text/big5.h"

#include <QDir>
#include <QFile>

namespace morvessa {

bool isUtf8(const QByteArray &bytes)
{
    // Bytes that are not UTF-8 decode to substitutes, which do not encode back to them.
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

QString shownName(const QByteArray &name)
{
    if (isUtf8(name))
        return QString::fromUtf8(name);
    const QString asBig5 = big5Decode(name);
    if (big5Encode(asBig5) == name)
        return asBig5;
    return QString::fromUtf8(name);
}

QString shownPath(const QByteArray &path)
{
    QStringList shown;
    for (const QByteArray &name : path.split('/'))
        shown << shownName(name);
    return shown.join(QLatin1Char('/'));
}

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

QByteArray childPath(const QByteArray &folder, const QByteArray &name)
{
    if (folder.endsWith('/'))
        return folder + name;
    return folder + '/' + name;
}

QByteArray cleanFolder(const QByteArray &folder)
{
    // Latin-1 carries every byte through unchanged, and the separators and dots are ASCII.
    const QString latin = QString::fromLatin1(folder);
    const QString absolute = QDir::isAbsolutePath(latin)
                                 ? latin
                                 : QString::fromLatin1(nativePath(QDir::currentPath())) + QLatin1Char('/') + latin;
    return QDir::cleanPath(absolute).toLatin1();
}

QByteArray lastName(const QByteArray &folder)
{
    if (folder == "/")
        return folder;
    return folder.mid(folder.lastIndexOf('/') + 1);
}

QByteArray parentFolder(const QByteArray &folder)
{
    const qsizetype slash = folder.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : folder.left(slash);
}

} // namespace morvessa
