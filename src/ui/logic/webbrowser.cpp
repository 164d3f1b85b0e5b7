#include "ui/logic/webbrowser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace morvessa {

namespace {

// The browsers the desktop's opener tries, in its order, when no handler is named.
const QStringList kWindowBrowsers{
    QStringLiteral("x-www-browser"), QStringLiteral("firefox"),  QStringLiteral("iceweasel"),
    QStringLiteral("seamonkey"),     QStringLiteral("mozilla"),  QStringLiteral("epiphany"),
    QStringLiteral("konqueror"),     QStringLiteral("chromium"), QStringLiteral("chromium-browser"),
    QStringLiteral("google-chrome"),
};
const QStringList kTerminalBrowsers{
    QStringLiteral("www-browser"), QStringLiteral("links2"), QStringLiteral("elinks"),
    QStringLiteral("links"),       QStringLiteral("lynx"),   QStringLiteral("w3m"),
};

bool onPath(const QString &program, const QStringList &path)
{
    return !QStandardPaths::findExecutable(program, path).isEmpty();
}

// The [Desktop Entry] keys of a desktop file.
QHash<QString, QString> desktopEntry(const QString &file)
{
    QHash<QString, QString> keys;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return keys;
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = QString::fromUtf8(in.readLine(64 * 1024)).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.contains(QLatin1Char('=')) && !line.startsWith(QLatin1Char('#')))
            keys.insert(line.section(QLatin1Char('='), 0, 0).trimmed(),
                        line.section(QLatin1Char('='), 1).trimmed());
    }
    return keys;
}

// The desktop file of an id: "org.x.App.desktop" in a folder, or "kde-app.desktop" as
// kde/app.desktop.
QString desktopFile(const QString &id, const QStringList &folders)
{
    for (const QString &folder : folders) {
        QString name = id;
        for (;;) {
            const QString file = folder + QLatin1Char('/') + name;
            if (QFileInfo(file).isFile())
                return file;
            const qsizetype dash = name.indexOf(QLatin1Char('-'));
            if (dash < 0)
                break;
            name[dash] = QLatin1Char('/');
        }
    }
    return {};
}

} // namespace

BrowserEnvironment currentBrowserEnvironment()
{
    BrowserEnvironment environment;
    environment.path = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    environment.canOpenFiles = onPath(QStringLiteral("xdg-open"), environment.path);
    environment.browserVariable = qEnvironmentVariable("BROWSER");
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString &folder : QStringList{dataHome} + dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        environment.applicationFolders << folder + QStringLiteral("/applications");

    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"), environment.path);
    if (!query.isEmpty()) {
        QProcess mime;
        mime.start(query, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
        if (mime.waitForFinished(3000))
            environment.htmlHandler = QString::fromUtf8(mime.readAllStandardOutput()).trimmed();
        else
            mime.kill();
    }
    return environment;
}

bool hasGraphicalBrowser(const BrowserEnvironment &environment)
{
    if (!environment.canOpenFiles)
        return false;
    const QString handler = desktopFile(environment.htmlHandler, environment.applicationFolders);
    if (!environment.htmlHandler.isEmpty() && !handler.isEmpty()) {
        const QHash<QString, QString> entry = desktopEntry(handler);
        const QString tryExec = entry.value(QStringLiteral("TryExec"));
        if (entry.value(QStringLiteral("Hidden")) != QLatin1String("true") &&
            entry.contains(QStringLiteral("Exec")) &&
            (tryExec.isEmpty() || onPath(tryExec, environment.path) || QFileInfo(tryExec).isExecutable()))
            return entry.value(QStringLiteral("Terminal")) != QLatin1String("true");
    }
    // No usable handler: the first browser found decides.
    for (const QString &browser : environment.browserVariable.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString program = browser.section(QLatin1Char(' '), 0, 0);
        if (onPath(program, environment.path) || QFileInfo(program).isExecutable())
            return !kTerminalBrowsers.contains(QFileInfo(program).fileName());
    }
    for (const QString &browser : kWindowBrowsers)
        if (onPath(browser, environment.path))
            return true;
    return false;
}

} // namespace morvessa
