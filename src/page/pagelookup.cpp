#include "page/pagelookup.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace morvessa {

namespace {

// The path made absolute, with "." and ".." taken out by name; links are not looked at.
QString byName(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Whether path lies under root or is root, both written out by name.
bool under(const QString &root, const QString &path)
{
    return path == root || path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

// The entry of dir whose name equals part when letter case is ignored, or an empty string.
QString entryIgnoringCase(const QString &dir, const QString &part)
{
    const QStringList entries =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const auto match = std::find_if(entries.begin(), entries.end(), [&](const QString &entry) {
        return entry.compare(part, Qt::CaseInsensitive) == 0;
    });
    return match == entries.end() ? QString() : *match;
}

} // namespace

QString sourcePagePath(const QString &folder, const QString &pageName)
{
    QStringList parts;
    const QStringList written =
        QString(pageName).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : written) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (parts.isEmpty())
                return QString(); // out of the folder
            parts.removeLast();
            continue;
        }
        parts << part;
    }
    if (parts.isEmpty())
        return QString();

    QString path = folder + QLatin1Char('/') + parts.join(QLatin1Char('/'));
    if (!QFileInfo(path).isFile()) {
        path = folder;
        for (const QString &part : parts) {
            const QString next = path + QLatin1Char('/') + part;
            if (QFileInfo::exists(next)) {
                path = next;
                continue;
            }
            const QString entry = entryIgnoringCase(path, part);
            if (entry.isEmpty())
                return QString();
            path += QLatin1Char('/') + entry;
        }
    }
    return QFileInfo(path).isFile() ? path : QString();
}

bool insideFolder(const QString &folder, const QString &path)
{
    // Confined by name: links inside the collection are the user's own arrangement (a
    // shared folder of pages, a collection assembled from links) and are followed.
    const QString real = QFileInfo(folder).canonicalFilePath();
    const QString named = byName(path);
    return under(byName(folder), named) || (!real.isEmpty() && under(real, named));
}

bool paneMayLoad(const QString &folder, const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("data") || scheme == QLatin1String("about"))
        return true;
    // A file address with a host names a file on another machine.
    return scheme == QLatin1String("file") && url.host().isEmpty() && insideFolder(folder, url.toLocalFile());
}

} // namespace morvessa
