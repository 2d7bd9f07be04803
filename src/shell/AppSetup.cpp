#include "shell/AppSetup.h"

#include "app/AppVersion.h"
#include "platform/gui/AppIcons.h"

#include <QApplication>

namespace AppSetup {

void configure() {
    QApplication::setApplicationName(QStringLiteral("servermon"));
    QApplication::setApplicationVersion(AppVersion::text());
    QGuiApplication::setDesktopFileName(AppVersion::desktopId());
    QApplication::setWindowIcon(AppIcons::programIcon());
    QApplication::setQuitOnLastWindowClosed(false);
}

} // namespace AppSetup
