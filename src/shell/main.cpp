#include "monitor/IcmpEchoService.h"
#include "platform/FileLimit.h"
#include "platform/PathSysInfoLocator.h"
#include "platform/SystemClock.h"
#include "platform/SystemProcessStarter.h"
#include "platform/gui/DesktopUrlOpener.h"
#include "platform/gui/EffectSoundPlayer.h"
#include "platform/gui/StyleSheetSkinEngine.h"
#include "platform/gui/SystemTrayIcon.h"
#include "shell/AppServices.h"
#include "shell/AppSetup.h"
#include "shell/FormLoading.h"
#include "shell/ModuleHTTP.h"
#include "shell/QtTranslations.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Every monitored row holds a socket during a pass.
    FileLimit::raiseToHardLimit();
    QApplication app(argc, argv);
    AppSetup::configure();
    QtTranslations::install(app);

    SystemClock clock;
    IcmpEchoService echo;
    SystemTrayIcon tray;
    EffectSoundPlayer sound;
    DesktopUrlOpener urlOpener;
    SystemProcessStarter processStarter;
    StyleSheetSkinEngine skinEngine;
    PathSysInfoLocator sysInfoLocator;
    AppServices services{clock,     echo,           tray,       sound,
                         urlOpener, processStarter, skinEngine, sysInfoLocator};

    auto* splash = new FormLoading(services, ModuleHTTP::AnnouncementUrl());
    splash->show();
    return QApplication::exec();
}
