#include "ui/twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace morvessa {

namespace {
constexpr double kTwipsPerPixel = 15.0;
constexpr int kFrameWidthPx = 2 * 4;
constexpr int kFrameHeightPx = 2 * 4 + 19;
} // namespace

double screenScale()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1.0;
    const double dpi = screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

int twipsToPx(int twips)
{
    return int(std::lround(twips / kTwipsPerPixel * screenScale()));
}

double pxToTwips(double px)
{
    return px * kTwipsPerPixel / screenScale();
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPx(left), twipsToPx(top), twipsToPx(width), twipsToPx(height));
}

QSize clientSizeForOuterTwips(int width, int height)
{
    const double s = screenScale();
    return QSize(int(std::lround((width / kTwipsPerPixel - kFrameWidthPx) * s)),
                 int(std::lround((height / kTwipsPerPixel - kFrameHeightPx) * s)));
}

} // namespace morvessa
