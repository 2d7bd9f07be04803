#pragma once

#include <qnamespace.h>

// The primary screen's logical dots per inch, or 0 without a screen.
namespace ScreenDpi {

double logical(Qt::Orientation orientation);

} // namespace ScreenDpi
