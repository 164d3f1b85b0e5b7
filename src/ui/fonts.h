#pragma once
#include <QFont>

namespace morvessa {

// 新細明體 (PMingLiU) where installed, else an installed Ming typeface.
QFont mingFont(double pointSize, bool bold);

// Arial where installed, else a metric look-alike or the system sans serif.
QFont arialFont(double pointSize);

} // namespace morvessa
