#include "ui/logic/rowtip.h"

#include <cmath>
#include <cstdint>

namespace morvessa {

namespace {

// Nearest whole number, a half going to the even neighbour; written out rather than
// left to the floating-point environment's current rounding mode.
double roundHalfToEven(double q)
{
    const double lower = std::floor(q);
    const double diff = q - lower;
    if (diff < 0.5)
        return lower;
    if (diff > 0.5)
        return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

} // namespace

std::optional<int> rowTipRow(int rowHeight, int rowPos, double y, int rows)
{
    if (rows < 2 || rowHeight <= 0 || !std::isfinite(y))
        return std::nullopt;
    const double h = rowHeight;
    const double q = rowPos >= rowHeight ? (y - 1.5 * h) / h : (y + h / 2 - rowPos) / h;
    const double r = roundHalfToEven(q);
    // r + 1 must stay a 16-bit value as well, so the top value of r is one less than INT16_MAX.
    if (r < INT16_MIN || r > INT16_MAX - 1)
        return std::nullopt;
    const int n = std::abs(static_cast<int>(r) + 1);
    if (n >= rows)
        return std::nullopt;
    return n;
}

} // namespace morvessa
