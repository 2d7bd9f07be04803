#pragma once

#include <QtGlobal>
#include <qnamespace.h>

// Twips are 1/1440 inch: 15 per pixel at 96 dots per inch. Window and list
// sizes are kept in twips; the screen's logical dpi converts them.
namespace Twips {

constexpr double PerInch = 1440.0;

// Where the screen's logical dpi comes from: the window program installs
// the primary screen's; without one (headless) every figure uses 96.
using DpiSource = double (*)(Qt::Orientation orientation);
void setDpiSource(DpiSource source);

double screenDpiX();
double screenDpiY();

// Nearest whole twip or pixel, halves to even; results saturate at the
// 32-bit range.
qint32 fromPixels(int pixels, double dpi);
int toPixels(qint32 twips, double dpi);

inline qint32 fromPixelsX(int pixels) {
    return fromPixels(pixels, screenDpiX());
}
inline qint32 fromPixelsY(int pixels) {
    return fromPixels(pixels, screenDpiY());
}
inline int toPixelsX(qint32 twips) {
    return toPixels(twips, screenDpiX());
}
inline int toPixelsY(qint32 twips) {
    return toPixels(twips, screenDpiY());
}

} // namespace Twips
