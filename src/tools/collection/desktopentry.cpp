#include "tools/collection/desktopentry.h"

#include "tools/collection/collection.h"
#include "tools/collection/collectionfiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace morvessa::collection {

namespace {

const QString kGroup = QStringLiteral("[Desktop Entry]");
const QString kFolderKey = QStringLiteral("X-Morvessa-Folder");
const QString kLinkKey = QStringLiteral("X-Morvessa-Link");
const QString kCopiesKey = QStringLiteral("X-Morvessa-Copies");

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

} // namespace

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

} // namespace morvessa::collection
