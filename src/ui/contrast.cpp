#include "ui/contrast.h"

#include <algorithm>
#include <cmath>

namespace morvessa {

namespace {
double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}
} // namespace

double relativeLuminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = relativeLuminance(a), lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor &preferred, const QColor &background, double ratio)
{
    if (contrastRatio(preferred, background) >= ratio)
        return preferred;
    // Darken when black reads better on the background than white does, else lighten.
    const bool darken = contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background);
    const QColor hsl = preferred.toHsl();
    const double from = hsl.lightnessF();
    // The lightness that first reaches the ratio, found by halving the interval between
    // the preferred lightness and black or white.
    // Each candidate is taken in 8-bit channels, as it will be drawn.
    auto at = [&hsl](double lightness) {
        return QColor(QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(), lightness).rgb());
    };
    double reads = darken ? 0.0 : 1.0, fails = from;
    for (int i = 0; i < 24; ++i) {
        const double mid = (reads + fails) / 2;
        (contrastRatio(at(mid), background) >= ratio ? reads : fails) = mid;
    }
    return at(reads);
}

} // namespace morvessa
