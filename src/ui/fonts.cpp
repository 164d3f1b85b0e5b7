#include "ui/fonts.h"

#include <QStringList>

namespace morvessa {

QFont mingFont(double pointSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("PMingLiU"), QStringLiteral("新細明體"), QStringLiteral("AR PL UMing TW"),
                      QStringLiteral("Noto Serif CJK TC"), QStringLiteral("serif")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

QFont arialFont(double pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace morvessa
