#pragma once
// Window layouts are given in twips: 1440 per inch, 15 per pixel at 96 dpi.
#include <QRect>
#include <QSize>

namespace morvessa {

// Logical dots per inch of the primary screen over 96: 1.0 on an ordinary screen.
double screenScale();

int twipsToPx(int twips);
double pxToTwips(double px);
QRect twipsRect(int left, int top, int width, int height);

// A window's outer size in twips less the frame and title bar the layout was made
// with (4-pixel borders, 19-pixel caption): the client size, scaled to the screen.
QSize clientSizeForOuterTwips(int width, int height);

} // namespace morvessa
