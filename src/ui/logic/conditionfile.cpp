#include "ui/logic/conditionfile.h"

#include "text/big5.h"
#include "ui/logic/filecontent.h"
#include "ui/logic/filenames.h"

#include <cerrno>

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

QString quoted(const QString &path)
{
    return QStringLiteral("「") + path + QStringLiteral("」");
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

ConditionFileResult failure(const QString &message)
{
    ConditionFileResult r;
    r.message = message;
    return r;
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

ConditionFileResult loadConditionFile(const QByteArray &path)
{
    const QString shown = quoted(shownPath(path));
    const ReadResult read = readFileContent(path, kConditionFileLimit);
    switch (read.failure) {
    case ReadFailure::None:
        break;
    case ReadFailure::Missing:
        return failure(QStringLiteral("找不到檔案%1，它可能已被移走或刪除。").arg(shown));
    case ReadFailure::NotAFile:
        return failure(QStringLiteral("%1不是檔案，無法讀取。").arg(shown));
    case ReadFailure::NoPermission:
        return failure(QStringLiteral("沒有讀取檔案%1的權限。").arg(shown));
    case ReadFailure::TooLarge:
        return failure(QStringLiteral("檔案%1超過 %2 MB，不像是條件檔，沒有讀入。")
                           .arg(shown)
                           .arg(kConditionFileLimit / (1024 * 1024)));
    case ReadFailure::ReadFailed:
        return failure(QStringLiteral("讀取檔案%1時發生錯誤（%2）。").arg(shown, systemErrorText(read.error)));
    }

    ConditionFileResult r;
    r.ok = true;
    bool exact = true;
    r.text = conditionText(read.bytes, &exact);
    if (exact)
        return r;
    // The text shows the bytes as Big5 reads them; the substitutes for the bytes that are
    // not Big5 cannot be written back as those bytes.
    if (isUtf8(read.bytes))
        r.message = QStringLiteral("檔案%1不是 Big5 文字（可能是 UTF-8 文字）。內容照讀到的位元組以 Big5 "
                                   "顯示，所以看來是亂碼；這些內容無法以 Big5 原樣存回。")
                        .arg(shown);
    else
        r.message = QStringLiteral("檔案%1有些位元組不是 Big5 文字，已換成替代字元顯示；"
                                   "這些位元組無法以 Big5 原樣存回。")
                        .arg(shown);
    return r;
}

ConditionFileResult saveConditionFile(const QByteArray &path, const QString &text)
{
    qsizetype bad = -1;
    const QByteArray bytes = conditionBytes(text, &bad);
    if (bad >= 0)
        return failure(unmappableMessage(text, bad));

    const QString shown = quoted(shownPath(path));
    const ReplaceResult written = replaceFileContent(path, bytes);
    switch (written.failure) {
    case ReplaceFailure::None: {
        ConditionFileResult r;
        r.ok = true;
        return r;
    }
    case ReplaceFailure::NotAFile:
        return failure(QStringLiteral("%1不是檔案，無法存檔。").arg(shown));
    case ReplaceFailure::ReadOnly:
        return failure(QStringLiteral("檔案%1是唯讀檔，沒有存檔。").arg(shown));
    case ReplaceFailure::CannotCreate:
        return failure(QStringLiteral("無法在檔案%1所在的資料夾建立檔案（%2），沒有存檔。")
                           .arg(shown, systemErrorText(written.error)));
    case ReplaceFailure::WriteFailed:
        break;
    }
    if (written.oldKept)
        return failure(QStringLiteral("寫入檔案%1失敗（%2），沒有存檔；原檔案沒有變更。")
                           .arg(shown, systemErrorText(written.error)));
    return failure(QStringLiteral("寫入檔案%1失敗（%2），原來的內容也無法寫回，檔案可能已經損壞。"
                                  "文字框中的內容仍在，請存到別的檔案。")
                       .arg(shown, systemErrorText(written.error)));
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
