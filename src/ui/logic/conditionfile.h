#pragma once
// Condition files: small Big5 text files in which users keep search conditions.
//
// The text of a condition file, as the condition file window holds it: every line of the
// file followed by CR LF. Reading, a line ends at a CR and an LF right after that CR is
// skipped; a lone LF is an ordinary character of its line; the last line needs no line
// end. Writing puts the text and one more CR LF into the file.
//
// Paths are the file system's bytes (see filenames.h); messages show them decoded.
#include "base/result.h"

#include <QByteArray>
#include <QString>

namespace morvessa {

// Bytes of a condition file -> its text (each line followed by CR LF). *exact tells
// whether every line comes back to the same bytes (false for bytes that are not Big5).
// Every byte sequence has a text.
QString conditionText(const QByteArray &bytes, bool *exact = nullptr);

// Text -> the bytes written for it: Big5 of the text followed by CR LF. When a character
// has no Big5 form, returns an empty array and sets *firstUnmappable to its index in text.
QByteArray conditionBytes(const QString &text, qsizetype *firstUnmappable = nullptr);

// Condition files are small; a larger file is not read.
constexpr qint64 kConditionFileLimit = 8 * 1024 * 1024;

// A loaded condition file. A file that is not all Big5 loads with substitutes for the
// bytes that are not, and a warning for the user saying so.
struct LoadedConditions {
    QString text;
    QString warning;
};

// Reads a condition file. Fails without touching anything when the file is missing,
// is not an ordinary file, cannot be read or is too large.
Result<LoadedConditions> loadConditionFile(const QByteArray &path);

// Writes text into a condition file, which stays the same file (owner, mode, other
// names). Either every byte is written or the failure is reported and the file keeps
// the bytes it had: text Big5 cannot hold, a read-only file, a full disk. A missing file
// is created.
Result<void> saveConditionFile(const QByteArray &path, const QString &text);

// The text box keeps lines as paragraphs, so a lone LF inside a line travels through it
// as a line separator (U+2028), which it shows as a break within the line.
// editorText: text -> the text box's plain text (CR LF ends a paragraph).
// textFromEditor: the text box's raw text (paragraphs separated by U+2029) -> text.
QString editorText(const QString &text);
QString textFromEditor(const QString &rawText);

} // namespace morvessa
