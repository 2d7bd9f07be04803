#include "config/InterfaceLanguage.h"
#include "monitor/IcmpEchoService.h"
#include "platform/AppPaths.h"
#include "platform/FileLimit.h"
#include "platform/GraphicalSession.h"
#include "platform/PathSysInfoLocator.h"
#include "platform/SingleInstance.h"
#include "platform/SystemClock.h"
#include "platform/SystemProcessStarter.h"
#include "platform/TerminationSignals.h"
#include "platform/TrayIcon.h"
#include "platform/gui/DBusDesktopNotifications.h"
#include "platform/gui/DesktopUrlOpener.h"
#include "platform/gui/EffectSoundPlayer.h"
#include "platform/gui/StyleSheetSkinEngine.h"
#include "platform/gui/SystemTrayIcon.h"
#include "service/CatalogueCommand.h"
#include "service/CommandLine.h"
#include "service/HeadlessService.h"
#include "service/MetricsService.h"
#include "shell/AppServices.h"
#include "shell/AppSetup.h"
#include "shell/AppVersion.h"
#include "shell/FormLoading.h"
#include "shell/FormMain.h"
#include "shell/InterfaceTranslations.h"
#include "shell/ModuleHTTP.h"

#include <QApplication>
#include <QFile>
#include <QPointer>

#include <cstdio>

namespace {

QStringList argumentList(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Options that end the program before it starts: help, version, mistakes.
int endWith(const CommandLine& commandLine) {
    const bool failed = commandLine.action() == CommandLine::Action::Fail;
    print(failed ? stderr : stdout, commandLine.output());
    return commandLine.exitCode();
}

// The language chosen in the settings file of the folders the options pick.
void installInterfaceLanguage(QCoreApplication& app, const CommandLine& commandLine) {
    AppPaths::setCurrent(
        AppPaths::decide(QCoreApplication::applicationDirPath(), commandLine.pathChoice()));
    InterfaceTranslations::install(app, InterfaceLanguage::english(InterfaceLanguage::read()),
                                   AppPaths::current().translationFolder());
}

QString alreadyRunningMessage() {
    return QCoreApplication::translate("main", "servermon 已在运行,数据文件夹:") +
           AppPaths::current().dataFolder() + QLatin1Char('\n');
}

// Monitoring without a window until SIGTERM or SIGINT; the log goes to
// standard output. The alert texts and status texts in the log and the desktop
// notifications follow the chosen language like the window's; the log's state
// names and field layout are fixed, so scripts read it in either language.
int runHeadless(int argc, char* argv[], const CommandLine& commandLine) {
    FileLimit::raiseToHardLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("servermon"));
    QCoreApplication::setApplicationVersion(AppVersion::text());

    installInterfaceLanguage(app, commandLine);
    AppPaths::current().createFolders();
    SingleInstance instance(AppPaths::current().instanceLockFile());
    if (instance.claim() == SingleInstance::Claim::AlreadyRunning) {
        print(stderr, alreadyRunningMessage());
        return 1;
    }

    SystemClock clock;
    IcmpEchoService echo;
    DBusDesktopNotifications notifications(QStringLiteral("servermon"), AppVersion::desktopId(),
                                           AppVersion::desktopId());
    QFile log;
    log.open(stdout, QIODevice::WriteOnly);
    HeadlessService service(clock, echo, log, &notifications);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [&service] {
        service.stop();
        QCoreApplication::quit();
    });
    QString error;
    if (!service.start(commandLine.metrics(), error)) {
        print(stderr, error + QLatin1Char('\n'));
        return 1;
    }
    const int exitCode = QCoreApplication::exec();
    service.close();
    return exitCode;
}

} // namespace

int main(int argc, char* argv[]) {
    const CommandLine commandLine = CommandLine::parse(argumentList(argc, argv));
    if (commandLine.action() == CommandLine::Action::Import ||
        commandLine.action() == CommandLine::Action::Export) {
        QCoreApplication app(argc, argv);
        installInterfaceLanguage(app, commandLine);
        return CatalogueCommand::Run(commandLine);
    }
    if (commandLine.action() != CommandLine::Action::Run)
        return endWith(commandLine);
    if (commandLine.headless())
        return runHeadless(argc, argv, commandLine);
    if (!GraphicalSession::available()) {
        print(stderr, GraphicalSession::missingMessage() + QLatin1Char('\n'));
        return 1;
    }

    // Every monitored row holds a socket during a pass.
    FileLimit::raiseToHardLimit();
    QApplication app(argc, argv);
    AppSetup::configure();

    installInterfaceLanguage(app, commandLine);
    AppPaths::current().createFolders();
    SingleInstance instance(AppPaths::current().instanceLockFile());
    if (instance.claim() == SingleInstance::Claim::AlreadyRunning) {
        print(stderr, alreadyRunningMessage());
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
