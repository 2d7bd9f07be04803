#include "config/Twips.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Twips {
namespace {

constexpr double FallbackDpi = 96.0;

DpiSource installedSource = nullptr;

double usableDpi(double dpi) {
    return dpi > 0 && std::isfinite(dpi) ? dpi : FallbackDpi;
}

qint32 saturatedRound(double value) {
    const double rounded = std::nearbyint(value);
    return static_cast<qint32>(std::clamp(rounded,
                                          static_cast<double>(std::numeric_limits<qint32>::min()),
                                          static_cast<double>(std::numeric_limits<qint32>::max())));
}

double sourceDpi(Qt::Orientation orientation) {
    return usableDpi(installedSource ? installedSource(orientation) : FallbackDpi);
}

} // namespace

void setDpiSource(DpiSource source) {
    installedSource = source;
}

double screenDpiX() {
    return sourceDpi(Qt::Horizontal);
}

double screenDpiY() {
    return sourceDpi(Qt::Vertical);
}

qint32 fromPixels(int pixels, double dpi) {
    return saturatedRound(pixels * PerInch / usableDpi(dpi));
}

int toPixels(qint32 twips, double dpi) {
    return saturatedRound(twips * usableDpi(dpi) / PerInch);
}

} // namespace Twips
