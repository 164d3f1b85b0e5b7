#include "page/pagelookup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <unistd.h>

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
    PageProblem unused;
    return sourcePagePath(folder, pageName, unused);
}

QString sourcePagePath(const QString &folder, const QString &pageName, PageProblem &problem)
{
    problem = PageProblem::Outside;
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
    problem = PageProblem::Missing;
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
    const QFileInfo found(path);
    if (!found.isFile()) {
        problem = found.exists() ? PageProblem::NotAFile : PageProblem::Missing;
        return QString();
    }
    problem =
        ::access(QFile::encodeName(path).constData(), R_OK) == 0 ? PageProblem::None : PageProblem::NoPermission;
    return path;
}

QString pageProblemText(PageProblem problem)
{
    switch (problem) {
    case PageProblem::None:
        return QString();
    case PageProblem::Missing:
        return QStringLiteral("檔案不存在");
    case PageProblem::NoPermission:
        return QStringLiteral("沒有讀取這個檔案的權限");
    case PageProblem::NotAFile:
        return QStringLiteral("這個名稱不是檔案（例如是資料夾）");
    case PageProblem::Outside:
        return QStringLiteral("頁面名稱指到資料集資料夾之外");
    }
    return QString();
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
