#include "ui/logic/conditionfile.h"

#include "base/filereplace.h"
#include "text/big5.h"
#include "ui/logic/filenames.h"

namespace morvessa {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

// The character at index, whole even when it is a surrogate pair.
QString characterAt(const QString &text, qsizetype index)
{
    if (QChar(text.at(index)).isHighSurrogate() && index + 1 < text.size() &&
        QChar(text.at(index + 1)).isLowSurrogate())
        return text.mid(index, 2);
    return text.mid(index, 1);
}

QString codePoint(const QString &character)
{
    const char32_t ucs = character.size() == 2 ? QChar::surrogateToUcs4(character.at(0), character.at(1))
                                               : char32_t(character.at(0).unicode());
    return QStringLiteral("U+%1").arg(uint(ucs), 4, 16, QLatin1Char('0')).toUpper();
}

QString unmappableMessage(const QString &text, qsizetype index)
{
    const QString before = text.left(index);
    const qsizetype lastLineEnd = before.lastIndexOf(kLineEnd);
    const qsizetype line = before.count(kLineEnd) + 1;
    const qsizetype column = lastLineEnd < 0 ? index + 1 : index - (lastLineEnd + kLineEnd.size()) + 1;
    const QString ch = characterAt(text, index);
    return QStringLiteral("第 %1 行第 %2 個字「%3」（%4）無法以 Big5 儲存，"
                          "請改用其他字後再存檔。檔案沒有變更。")
        .arg(line)
        .arg(column)
        .arg(ch, codePoint(ch));
}

} // namespace

QString conditionText(const QByteArray &bytes, bool *exact)
{
    if (exact)
        *exact = true;
    QString text;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype cr = bytes.indexOf('\r', start);
        const qsizetype end = cr < 0 ? bytes.size() : cr;
        // Big5 trail bytes never take the value of CR, so lines split safely as bytes.
        const QByteArray line = bytes.mid(start, end - start);
        const QString decoded = big5Decode(line);
        if (exact && *exact && big5Encode(decoded) != line)
            *exact = false;
        text += decoded;
        text += kLineEnd;
        start = end + 1;
        if (cr >= 0 && start < bytes.size() && bytes.at(start) == '\n')
            ++start;
    }
    return text;
}

QByteArray conditionBytes(const QString &text, qsizetype *firstUnmappable)
{
    return big5Encode(text + kLineEnd, firstUnmappable);
}

Result<LoadedConditions> loadConditionFile(const QByteArray &path)
{
    const Result<QByteArray, FileFailure> read = readFileContent(path, kConditionFileLimit, shownPath(path));
    if (!read && read.failure().kind == FileFailure::TooLarge)
        return Failure{QStringLiteral("檔案「%1」超過 %2 MB，不像是條件檔，沒有讀入。")
                           .arg(shownPath(path))
                           .arg(kConditionFileLimit / (1024 * 1024))};
    if (!read)
        return read.failure();

    LoadedConditions loaded;
    bool exact = true;
    loaded.text = conditionText(*read, &exact);
    if (exact)
        return loaded;
    // The text shows the bytes as Big5 reads them; the substitutes for the bytes that are
    // not Big5 cannot be written back as those bytes.
    if (isUtf8(*read))
        loaded.warning = QStringLiteral("檔案「%1」不是 Big5 文字（可能是 UTF-8 文字）。內容照讀到的位元組以 Big5 "
                                        "顯示，所以看來是亂碼；這些內容無法以 Big5 原樣存回。")
                             .arg(shownPath(path));
    else
        loaded.warning = QStringLiteral("檔案「%1」有些位元組不是 Big5 文字，已換成替代字元顯示；"
                                        "這些位元組無法以 Big5 原樣存回。")
                             .arg(shownPath(path));
    return loaded;
}

Result<void> saveConditionFile(const QByteArray &path, const QString &text)
{
    qsizetype bad = -1;
    const QByteArray bytes = conditionBytes(text, &bad);
    if (bad >= 0)
        return Failure{unmappableMessage(text, bad)};

    const Result<ReplaceWay, FileFailure> written = replaceFileContent(path, bytes, shownPath(path));
    if (written)
        return {};
    if (written.failure().oldKept)
        return written.failure();
    // The user still has the text: say where it can go.
    return Failure{written.message() + QStringLiteral("文字框中的內容仍在，請存到別的檔案。")};
}

QString editorText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') && (i == 0 || text.at(i - 1) != QLatin1Char('\r')))
            out += QChar(QChar::LineSeparator);
        else
            out += c;
    }
    return out;
}

QString textFromEditor(const QString &rawText)
{
    QString out;
    out.reserve(rawText.size() + rawText.size() / 8);
    for (const QChar c : rawText) {
        if (c == QChar::ParagraphSeparator)
            out += kLineEnd;
        else if (c == QChar::LineSeparator)
            out += QLatin1Char('\n');
        else
            out += c;
    }
    return out;
}

} // namespace morvessa
