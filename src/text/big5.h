#pragma once
// Big5 (code page 950) through ICU. The pages and condition files are Big5 text.
#include <QByteArray>
#include <QString>

namespace morvessa {

// Decodes Big5; user-defined characters (lead bytes 0x81-0xA0, 0xFA-0xFE) map to
// the Private Use Area and come back unchanged through big5Encode.
QString big5Decode(const QByteArray &bytes);

// Encodes to Big5. When a character has no Big5 form, returns an empty array and
// sets *firstUnmappable to its index in text (otherwise -1).
QByteArray big5Encode(const QString &text, qsizetype *firstUnmappable = nullptr);

} // namespace morvessa
