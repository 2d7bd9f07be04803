#include "shell/WindowProgram.h"

#include "app/AppVersion.h"
#include "catalogue/ModuleDB.h"
#include "monitor/IcmpEchoService.h"
#include "monitor/ServerRowModel.h"
#include "notify/NotificationChannels.h"
#include "platform/AppPaths.h"
#include "platform/DBusDesktopNotifications.h"
#include "platform/FileLimit.h"
#include "platform/GraphicalSession.h"
#include "platform/PathSysInfoLocator.h"
#include "platform/ProcessSetup.h"
#include "platform/SingleInstance.h"
#include "platform/SystemClock.h"
#include "platform/SystemProcessStarter.h"
#include "platform/TerminationSignals.h"
#include "platform/gui/DesktopUrlOpener.h"
#include "platform/gui/EffectSoundPlayer.h"
#include "platform/gui/MessageBoxes.h"
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
#include <QTimer>

namespace WindowProgram {
namespace {

using HeadlessProgram::print;

// The folder's lock cannot be taken at all (a read-only folder): said on
// the terminal and in a box, since a start from the desktop has no terminal.
void refuseStart(const SingleInstance& instance) {
    const QString message =
        HeadlessProgram::lockFailedMessage(instance.lockFile(), instance.errorString());
    print(stderr, message);
    MessageBoxes::show(nullptr, QMessageBox::Critical,
                       QCoreApplication::translate("WindowProgram", "无法启动"), message.trimmed());
}

// A start on a folder in use shows the running copy's window. The headless
// service has none to show, and a start from the desktop would end unseen:
// a box says who holds the folder and how to stop it.
int showRunningCopy(SingleInstance& instance) {
    switch (instance.activateRunning()) {
    case SingleInstance::Activation::Shown:
        return 0;
    case SingleInstance::Activation::Headless:
        MessageBoxes::show(
            nullptr, QMessageBox::Warning,
            QCoreApplication::translate("WindowProgram", "servermon 已在运行"),
            QCoreApplication::translate("WindowProgram",
                                        "后台监控服务(servermon --headless)正在使用数据文件夹:\n"
                                        "%1\n\n如需打开窗口,请先停止该服务:\n%2")
                .arg(AppPaths::current().dataFolder(),
                     QStringLiteral("systemctl --user stop servermon")));
        return 1;
    case SingleInstance::Activation::Unreachable:
        break;
    }
    return 1;
}

// The notification channels of the window's monitor, read with every list;
// their test sends go through the same delivery.
void startChannels(FormMain& window, AppServices& services, const Clock& clock,
                   MetricsService* metrics) {
    auto* channels = new NotificationChannels(window.monitor(), clock, &window);
    services.channelSender = &channels->delivery();
    QObject::connect(&window.rowModel(), &QAbstractItemModel::modelReset, channels,
                     &NotificationChannels::reload);
    QObject::connect(&window, &FormMain::channelsChanged, channels, &NotificationChannels::reload);
    ChannelDispatcher& dispatcher = channels->dispatcher();
    const auto showFailing = [&window, &dispatcher] {
        window.setFailingChannel(dispatcher.failingChannels().join(QStringLiteral(", ")));
    };
    QObject::connect(&dispatcher, &ChannelDispatcher::channelFailed, &window, showFailing);
    QObject::connect(&dispatcher, &ChannelDispatcher::channelRecovered, &window, showFailing);
    if (metrics)
        metrics->setChannels(&dispatcher);
}

int runWindow(int argc, char* argv[], const CommandLine& commandLine) {
    if (!GraphicalSession::available()) {
        print(stderr, GraphicalSession::missingMessage() + QLatin1Char('\n'));
        return 1;
    }

    ModuleDB::setCommandLineDatabaseUri(commandLine.database());
    // Every monitored row holds a socket during a pass.
    FileLimit::raiseToHardLimit();
    QApplication app(argc, argv);
    AppSetup::configure();
    // A signal takes the main window's exit path once the event loop runs:
    // the start-up may run nested loops, and a quit before the loop runs is
    // lost. Before the main window exists it only ends a loop under way.
    QPointer<FormMain> mainWindow;
    bool signalled = false;
    bool looping = false;
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [&] {
        signalled = true;
        if (!mainWindow)
            QCoreApplication::quit();
        else if (looping)
            mainWindow->exitOnSignal();
    });

    HeadlessProgram::installInterfaceLanguage(app, commandLine);
    AppPaths::current().createFolders();
    SingleInstance instance(AppPaths::current().instanceLockFile());
    switch (instance.claim()) {
    case SingleInstance::Claim::Claimed:
        break;
    case SingleInstance::Claim::AlreadyRunning:
        print(stderr, HeadlessProgram::alreadyRunningMessage());
        return showRunningCopy(instance);
    case SingleInstance::Claim::Unavailable:
        refuseStart(instance);
        return 1;
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
    mainWindow = splash->mainWindow();
    // A second start shows the window as a double click on the tray icon does.
    QObject::connect(&instance, &SingleInstance::activationRequested, mainWindow, [mainWindow] {
        if (mainWindow)
            mainWindow->Tray_MouseMessage(TrayIcon::DoubleClick);
    });
    QString metricsError;
    MetricsService* metrics = MetricsService::start(commandLine.metrics(), mainWindow->rowModel(),
                                                    mainWindow->monitor(), clock, metricsError)
                                  .release();
    if (metrics)
        metrics->setParent(mainWindow); // serves as long as the rows exist
    if (!metricsError.isEmpty())
        print(stderr, metricsError + QLatin1Char('\n'));
    startChannels(*mainWindow, services, clock, metrics);
    splash->show();
    QTimer::singleShot(0, &app, [&] {
        looping = true;
        if (signalled && mainWindow)
            mainWindow->exitOnSignal();
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    ProcessSetup::prepare();
    const CommandLine commandLine = CommandLine::parse(HeadlessProgram::argumentList(argc, argv));
    if (commandLine.action() != CommandLine::Action::Run || commandLine.headless())
        return HeadlessProgram::run(argc, argv, commandLine);
    return runWindow(argc, argv, commandLine);
}

} // namespace WindowProgram
