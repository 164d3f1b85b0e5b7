#pragma once
#include <QFont>

namespace morvessa {

// 新細明體 (PMingLiU) where installed, else an installed Ming typeface; characters that
// face lacks come from Noto CJK.
QFont mingFont(double pointSize, bool bold);

// Arial where installed, else a metric look-alike or the system sans serif; Chinese text
// in the Ming face, then Noto CJK.
QFont arialFont(double pointSize);

} // namespace morvessa
