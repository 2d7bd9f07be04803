#include "config/Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Twips {
namespace {

constexpr double FallbackDpi = 96.0;

QScreen* primaryScreen() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
               ? QGuiApplication::primaryScreen()
               : nullptr;
}

double usableDpi(double dpi) {
    return dpi > 0 && std::isfinite(dpi) ? dpi : FallbackDpi;
}

qint32 saturatedRound(double value) {
    const double rounded = std::nearbyint(value);
    return static_cast<qint32>(std::clamp(rounded,
                                          static_cast<double>(std::numeric_limits<qint32>::min()),
                                          static_cast<double>(std::numeric_limits<qint32>::max())));
}

} // namespace

double screenDpiX() {
    const QScreen* screen = primaryScreen();
    return usableDpi(screen ? screen->logicalDotsPerInchX() : FallbackDpi);
}

double screenDpiY() {
    const QScreen* screen = primaryScreen();
    return usableDpi(screen ? screen->logicalDotsPerInchY() : FallbackDpi);
}

qint32 fromPixels(int pixels, double dpi) {
    return saturatedRound(pixels * PerInch / usableDpi(dpi));
}

int toPixels(qint32 twips, double dpi) {
    return saturatedRound(twips * usableDpi(dpi) / PerInch);
}

} // namespace Twips
