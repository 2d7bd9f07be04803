#include "platform/gui/ScreenDpi.h"

#include <QGuiApplication>
#include <QScreen>

namespace ScreenDpi {

double logical(Qt::Orientation orientation) {
    const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    if (!screen)
        return 0;
    return orientation == Qt::Horizontal ? screen->logicalDotsPerInchX()
                                         : screen->logicalDotsPerInchY();
}

} // namespace ScreenDpi
