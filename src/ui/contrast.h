#pragma once
// Legibility of text on a plain colour, measured as the ratio of the two colours'
// relative luminances (sRGB), from 1 (no contrast) to 21 (black on white).
#include <QColor>

namespace morvessa {

// Text of ordinary size reads at this ratio and above.
inline constexpr double kReadableContrast = 4.5;

double relativeLuminance(const QColor &colour);
double contrastRatio(const QColor &a, const QColor &b);

// The preferred colour when it reads on the background; else the same hue and
// saturation made darker (on a light background) or lighter (on a dark one), just
// enough to reach the ratio.
QColor readableOn(const QColor &preferred, const QColor &background, double ratio = kReadableContrast);

} // namespace morvessa
