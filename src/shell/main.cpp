#include "app/AppVersion.h"
#include "monitor/IcmpEchoService.h"
#include "platform/AppPaths.h"
#include "platform/DBusDesktopNotifications.h"
#include "platform/FileLimit.h"
#include "platform/GraphicalSession.h"
#include "platform/PathSysInfoLocator.h"
#include "platform/ProcessSetup.h"
#include "platform/SingleInstance.h"
#include "platform/SystemClock.h"
#include "platform/SystemProcessStarter.h"
#include "platform/gui/DesktopUrlOpener.h"
#include "platform/gui/EffectSoundPlayer.h"
#include "platform/gui/StyleSheetSkinEngine.h"
#include "platform/gui/SystemTrayIcon.h"
#include "platform/gui/TrayIcon.h"
#include "service/CommandLine.h"
#include "service/HeadlessProgram.h"
#include "service/MetricsService.h"
#include "shell/AppServices.h"
#include "shell/AppSetup.h"
#include "shell/FormLoading.h"
#include "shell/FormMain.h"
#include "shell/ModuleHTTP.h"

#include <QApplication>
#include <QPointer>

using HeadlessProgram::print;

int main(int argc, char* argv[]) {
    ProcessSetup::prepare();
    const CommandLine commandLine = CommandLine::parse(HeadlessProgram::argumentList(argc, argv));
    // What needs no window runs as servermon-headless runs it.
    if (commandLine.action() != CommandLine::Action::Run || commandLine.headless())
        return HeadlessProgram::run(argc, argv, commandLine);
    if (!GraphicalSession::available()) {
        print(stderr, GraphicalSession::missingMessage() + QLatin1Char('\n'));
        return 1;
    }

    // Every monitored row holds a socket during a pass.
    FileLimit::raiseToHardLimit();
    QApplication app(argc, argv);
    AppSetup::configure();

    HeadlessProgram::installInterfaceLanguage(app, commandLine);
    AppPaths::current().createFolders();
    SingleInstance instance(AppPaths::current().instanceLockFile());
    if (instance.claim() == SingleInstance::Claim::AlreadyRunning) {
        print(stderr, HeadlessProgram::alreadyRunningMessage());
        return instance.activateRunning() ? 0 : 1;
    }

    SystemClock clock;
    IcmpEchoService echo;
    SystemTrayIcon tray;
    EffectSoundPlayer sound;
    DesktopUrlOpener urlOpener;
    SystemProcessStarter processStarter;
    StyleSheetSkinEngine skinEngine;
    PathSysInfoLocator sysInfoLocator;
    DBusDesktopNotifications notifications(QStringLiteral("servermon"), AppVersion::desktopId(),
                                           AppVersion::desktopId());
    AppServices services{clock,          echo,       tray,           sound,        urlOpener,
                         processStarter, skinEngine, sysInfoLocator, notifications};

    auto* splash = new FormLoading(services, ModuleHTTP::AnnouncementUrl());
    // A second start shows the window as a double click on the tray icon does.
    const QPointer<FormMain> mainWindow = splash->mainWindow();
    QObject::connect(&instance, &SingleInstance::activationRequested, mainWindow, [mainWindow] {
        if (mainWindow)
            mainWindow->Tray_MouseMessage(TrayIcon::DoubleClick);
    });
    QString metricsError;
    if (std::unique_ptr<MetricsService> metrics =
            MetricsService::start(commandLine.metrics(), mainWindow->rowModel(),
                                  mainWindow->monitor(), clock, metricsError))
        metrics.release()->setParent(mainWindow); // serves as long as the rows exist
    if (!metricsError.isEmpty())
        print(stderr, metricsError + QLatin1Char('\n'));
    splash->show();
    return QApplication::exec();
}
