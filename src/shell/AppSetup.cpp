#include "shell/AppSetup.h"

#include "platform/gui/AppIcons.h"

#include <QApplication>

namespace AppSetup {

void configure() {
    QApplication::setApplicationName(QStringLiteral("servermon"));
    QApplication::setWindowIcon(AppIcons::programIcon());
    QApplication::setQuitOnLastWindowClosed(false);
}

} // namespace AppSetup
