#include "platform/GraphicalSession.h"

namespace GraphicalSession {

bool available(const QProcessEnvironment& environment) {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!environment.value(QString::fromLatin1(name)).isEmpty())
            return true;
    }
    return false;
}

// Shown before the settings, and so the interface language, are read.
QString missingMessage() {
    return QStringLiteral("无图形界面:请设置 DISPLAY 或 WAYLAND_DISPLAY");
}

} // namespace GraphicalSession
