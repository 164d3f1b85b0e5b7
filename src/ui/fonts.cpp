#include "ui/fonts.h"

#include <QStringList>

namespace morvessa {

namespace {
// The Ming faces, then Noto CJK, which holds every character of the collections (also
// the rarer ones, such as 隠, that the Ming faces lack): text falls back along this list
// character by character.
QStringList chineseFaces()
{
    return {QStringLiteral("PMingLiU"), QStringLiteral("新細明體"), QStringLiteral("AR PL UMing TW"),
            QStringLiteral("Noto Serif CJK TC"), QStringLiteral("Noto Sans CJK TC")};
}
} // namespace

QFont mingFont(double pointSize, bool bold)
{
    QFont font;
    font.setFamilies(chineseFaces() << QStringLiteral("serif"));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

QFont arialFont(double pointSize)
{
    QFont font;
    font.setFamilies(QStringList{QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")}
                     << chineseFaces() << QStringLiteral("sans-serif"));
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace morvessa
