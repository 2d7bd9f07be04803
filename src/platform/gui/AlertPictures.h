#pragma once

#include <QIcon>

#include <array>

// Picture1 of the notification icon: element 0 the normal icon, elements 1
// and 2 the alert icons that alternate while an alert flashes.
using AlertPictures = std::array<QIcon, 3>;
