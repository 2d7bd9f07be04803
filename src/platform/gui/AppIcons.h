#pragma once

#include "platform/gui/AlertPictures.h"

#include <QIcon>

// The program's icon pictures, built into the executable.
namespace AppIcons {

QIcon programIcon();
QIcon alertIcon(int element); // element 1 or 2 of Picture1
// Picture1: the normal icon, then the two alert icons that alternate.
AlertPictures Picture1();

} // namespace AppIcons
