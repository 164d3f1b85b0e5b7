#include "tools/collection/collection.h"

#include "base/filereplace.h"

#include "store/mdbreader.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

namespace morvessa::collection {

namespace {

const QString kProgramName = QStringLiteral("morvessa");
const QStringList kPages = {QStringLiteral("Help.htm"), QStringLiteral("demo.htm")};
const QString kGroup = QStringLiteral("[Desktop Entry]");
const QString kFolderKey = QStringLiteral("X-Morvessa-Folder");
const QString kLinkKey = QStringLiteral("X-Morvessa-Link");
const QString kCopiesKey = QStringLiteral("X-Morvessa-Copies");

QString quoted(const QString &path)
{
    return QStringLiteral("「%1」").arg(QDir::toNativeSeparators(path));
}

bool isLink(const QString &path)
{
    return QFileInfo(path).isSymLink();
}

// Exists in any form, a dangling link included.
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

// The escapes of a desktop entry's values: the character and the letter that follows the
// backslash for it.
constexpr std::pair<char16_t, char16_t> kEscapes[] = {{u'\\', u'\\'}, {u'\n', u'n'}, {u'\t', u't'}, {u'\r', u'r'}};

QString unescapeValue(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char16_t letter = value[++i].unicode();
        QChar c = letter == u's' ? QLatin1Char(' ') : QChar(letter);
        for (const auto &[character, escape] : kEscapes)
            if (escape == letter)
                c = QChar(character);
        out += c;
    }
    return out;
}

// What an entry written here says it made: the link's target, and each copied page's digest.
struct Made {
    QString folder;
    QString link;                         // empty: the link was there before
    std::map<QString, QByteArray> copies; // page name -> SHA-256 of the copy as made
};

bool readEntry(const QString &path, Made &made)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inGroup = false;
    bool ours = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line.trimmed() == kGroup;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = unescapeValue(line.mid(eq + 1).trimmed());
        if (key == kFolderKey) {
            made.folder = value;
            ours = true;
        } else if (key == kLinkKey) {
            made.link = value;
        } else if (key == kCopiesKey) {
            for (const QString &item : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                const QString name = item.section(QLatin1Char(':'), 0, 0);
                if (kPages.contains(name))
                    made.copies[name] = item.section(QLatin1Char(':'), 1).toLatin1();
            }
        }
    }
    return ours;
}

QByteArray entryText(const QString &folder, const QString &start, const Made &made)
{
    const QString name = QFileInfo(folder).fileName();
    QString copies;
    for (const auto &[page, digest] : made.copies)
        copies += page + QLatin1Char(':') + QString::fromLatin1(digest) + QLatin1Char(';');
    QStringList lines = {
        kGroup,
        QStringLiteral("Type=Application"),
        QStringLiteral("Version=1.4"),
        QStringLiteral("Name=") + escapeValue(name),
        QStringLiteral("GenericName=Morvessa 資料集"),
        QStringLiteral("Comment=") + escapeValue(QStringLiteral("以關鍵詞檢索資料集「%1」").arg(name)),
        QStringLiteral("Exec=") + execArgument(start),
        QStringLiteral("TryExec=") + escapeValue(start),
        QStringLiteral("Icon=morvessa"),
        QStringLiteral("Terminal=false"),
        QStringLiteral("Categories=Education;Literature;"),
        QStringLiteral("Actions=variants;"),
        kFolderKey + QLatin1Char('=') + escapeValue(folder),
    };
    if (!made.link.isEmpty())
        lines << kLinkKey + QLatin1Char('=') + escapeValue(made.link);
    if (!copies.isEmpty())
        lines << kCopiesKey + QLatin1Char('=') + copies;
    // The same windows with variant search, from the entry's menu.
    lines << QString() << QStringLiteral("[Desktop Action variants]") << QStringLiteral("Name=異體字檢索")
          << QStringLiteral("Exec=") + execArgument(start) + QStringLiteral(" --variants");
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

Outcome failure(const QString &message)
{
    return {Outcome::Failed, message, {}};
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

QString desktopFileName(const QString &canonicalFolder)
{
    QString slug;
    for (const QChar c : QFileInfo(canonicalFolder).fileName().toLower()) {
        const bool plain =
            (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (plain)
            slug += c;
        else if (!slug.isEmpty() && !slug.endsWith(QLatin1Char('-')))
            slug += QLatin1Char('-');
    }
    while (slug.endsWith(QLatin1Char('-')))
        slug.chop(1);
    slug.truncate(40);
    // The path's digest tells apart two collections of one name.
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(canonicalFolder.toUtf8(), QCryptographicHash::Sha256).toHex().left(10));
    return QStringLiteral("morvessa-") + (slug.isEmpty() ? QString() : slug + QLatin1Char('-')) + digest +
           QStringLiteral(".desktop");
}

QString escapeValue(const QString &value)
{
    QString out;
    for (const QChar c : value) {
        const auto escape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                         [c](const auto &e) { return e.first == c.unicode(); });
        if (escape == std::end(kEscapes))
            out += c;
        else
            out += QLatin1Char('\\') + QChar(escape->second);
    }
    // A value's leading blank would be taken for the blank around "=".
    if (out.startsWith(QLatin1Char(' ')))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);
    QString out;
    for (const QChar c : argument) {
        if (quote &&
            (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')))
            out += QLatin1Char('\\');
        out += c;
    }
    out.replace(QLatin1Char('%'), QStringLiteral("%%")); // not a field code
    if (quote)
        out = QLatin1Char('"') + out + QLatin1Char('"');
    // The Exec value is a string first: its backslashes are escaped once more.
    return escapeValue(out);
}

Outcome addCollection(const QString &folderArgument, const Installation &installation)
{
    const QFileInfo info(folderArgument);
    if (!info.isDir())
        return failure(QStringLiteral("找不到資料夾%1。").arg(quoted(folderArgument)));
    const QString folder = info.canonicalFilePath();
    if (hasControlCharacters(folder))
        return failure(QStringLiteral("資料夾%1的名稱含有控制字元，無法寫進選單項目。").arg(quoted(folder)));
    if (!QFileInfo(folder + QStringLiteral("/jst.mdb")).isFile())
        return failure(
            QStringLiteral(
                "資料夾%1中沒有資料庫檔案 jst.mdb，不是資料集；請先把 jst.mdb 與它的網頁放進這個資料夾。")
                .arg(quoted(folder)));
    // A menu entry for a file the program cannot read would only open on an error.
    if (const TableResult read = readMaindata(folder + QStringLiteral("/jst.mdb"), ContentForm::Folded); !read)
        return failure(read.message() + QStringLiteral("沒有變更任何檔案。"));
    if (!QFileInfo(installation.program).isExecutable())
        return failure(QStringLiteral("找不到程式%1。").arg(quoted(installation.program)));

    const QString entryFolder = applicationsFolder();
    const QString entryPath = entryFolder + QLatin1Char('/') + desktopFileName(folder);
    Made made;
    readEntry(entryPath, made); // a collection added before keeps what it made then
    made.folder = folder;

    QStringList madeNow;
    const auto undo = [&madeNow] {
        for (const QString &path : madeNow)
            QFile::remove(path);
    };

    // The link the entry starts: one made here before may be pointed at this program;
    // anything else of that name is the user's, and is used as it is if it runs.
    const QString start = folder + QLatin1Char('/') + kProgramName;
    const bool ourLink = !made.link.isEmpty() && isLink(start) && linkTarget(start) == made.link;
    if (ourLink && made.link != installation.program)
        QFile::remove(start);
    if (!isTaken(start)) {
        if (!QFile::link(installation.program, start))
            return failure(
                QStringLiteral("無法在資料夾%1中建立程式的連結（資料夾可能是唯讀的）。").arg(quoted(folder)));
        made.link = installation.program;
        madeNow << start;
    } else if (!ourLink) {
        made.link.clear();
        const QFileInfo existing(start);
        if (!existing.isFile() || !existing.isExecutable())
            return failure(
                QStringLiteral("%1已經存在，卻不是可以執行的程式；沒有變更任何檔案。").arg(quoted(start)));
    }

    QStringList missingPages;
    for (const QString &page : kPages) {
        const QString target = folder + QLatin1Char('/') + page;
        if (isTaken(target))
            continue;
        made.copies.erase(page);
        const QString source = installation.sampleFolder + QLatin1Char('/') + page;
        if (installation.sampleFolder.isEmpty() || !QFileInfo(source).isFile()) {
            missingPages << page;
            continue;
        }
        if (!QFile::copy(source, target)) {
            undo();
            return failure(QStringLiteral("無法把%1複製到資料夾%2。").arg(quoted(source), quoted(folder)));
        }
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
        made.copies[page] = fileDigest(target);
        madeNow << target;
    }

    const bool folderMade = QDir().mkpath(entryFolder);
    NewFileBeside entry(QFile::encodeName(entryPath), 0644);
    if (!folderMade || entry.error() || entry.write(entryText(folder, start, made)) != 0 ||
        entry.commit(NewFileBeside::Sync::Yes) != 0) {
        undo();
        return failure(QStringLiteral("無法寫入選單項目%1；沒有變更任何檔案。").arg(quoted(entryPath)));
    }
    QString message = QStringLiteral("已把資料集%1加入選單：%2").arg(quoted(folder), quoted(entryPath));
    if (folder.contains(QLatin1Char('%')))
        message += QStringLiteral("\n資料夾的路徑含有「%」：有些桌面不會顯示這個選單項目，把資料夾改名即可避免。");
    if (!missingPages.isEmpty())
        message +=
            QStringLiteral("\n找不到範例資料集中的 %1，沒有複製。").arg(missingPages.join(QStringLiteral("、")));
    return {Outcome::Done, message, entryPath};
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
