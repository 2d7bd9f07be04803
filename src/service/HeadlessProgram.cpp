#include "service/HeadlessProgram.h"
#include "catalogue/ModuleDB.h"
#include "service/CopyCatalogueCommand.h"

#include "app/AppVersion.h"
#include "config/InterfaceLanguage.h"
#include "config/InterfaceTranslations.h"
#include "monitor/IcmpEchoService.h"
#include "platform/AppPaths.h"
#include "platform/DBusDesktopNotifications.h"
#include "platform/FileLimit.h"
#include "platform/SingleInstance.h"
#include "platform/SystemClock.h"
#include "platform/TerminationSignals.h"
#include "service/CatalogueCommand.h"
#include "service/CommandLine.h"
#include "service/HeadlessService.h"
#include "service/SendTestCommand.h"

#include <QCoreApplication>
#include <QFile>

namespace HeadlessProgram {
namespace {

// Options that end the program before it starts: help, version, mistakes.
int endWith(const CommandLine& commandLine) {
    const bool failed = commandLine.action() == CommandLine::Action::Fail;
    print(failed ? stderr : stdout, commandLine.output());
    return commandLine.exitCode();
}

// Monitoring without a window until SIGTERM, SIGINT or SIGHUP; the log goes
// to standard output, and a log line its reader no longer takes is dropped. The alert texts and
// status texts in the log and the desktop notifications follow the chosen language like the
// window's; the log's state names and field layout are fixed, so scripts read it in either
// language.
int runService(int argc, char* argv[], const CommandLine& commandLine) {
    FileLimit::raiseToHardLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("servermon"));
    QCoreApplication::setApplicationVersion(AppVersion::text());

    installInterfaceLanguage(app, commandLine);
    AppPaths::current().createFolders();
    SingleInstance instance(AppPaths::current().instanceLockFile(), SingleInstance::Role::Headless);
    switch (instance.claim()) {
    case SingleInstance::Claim::Claimed:
        break;
    case SingleInstance::Claim::AlreadyRunning:
        print(stderr, alreadyRunningMessage());
        return 1;
    case SingleInstance::Claim::Unavailable:
        print(stderr, lockFailedMessage(instance.lockFile(), instance.errorString()));
        return 1;
    }

    SystemClock clock;
    IcmpEchoService echo;
    DBusDesktopNotifications notifications(QStringLiteral("servermon"), AppVersion::desktopId(),
                                           AppVersion::desktopId());
    QFile log;
    log.open(stdout, QIODevice::WriteOnly);
    HeadlessService service(clock, echo, log, &notifications);
    service.setAgentOptions(commandLine.agent(), commandLine.location());
    // The fleet's tests shorten the heartbeat to watch agents come and go.
    if (const int ms = qEnvironmentVariableIntValue("SERVERMON_AGENT_HEARTBEAT_MS"); ms > 0)
        service.setHeartbeatMs(ms);
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

QStringList argumentList(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

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

QString lockFailedMessage(const QString& lockFile, const QString& reason) {
    return QCoreApplication::translate("main", "servermon 没有启动:无法锁定锁文件 %1(%2)")
               .arg(lockFile, reason) +
           QLatin1Char('\n');
}

int run(int argc, char* argv[], const CommandLine& commandLine) {
    ModuleDB::setCommandLineDatabaseUri(commandLine.database());
    switch (commandLine.action()) {
    case CommandLine::Action::CopyCatalogue: {
        QCoreApplication app(argc, argv);
        installInterfaceLanguage(app, commandLine);
        return CopyCatalogueCommand::Run(commandLine);
    }
    case CommandLine::Action::Import:
    case CommandLine::Action::Export: {
        QCoreApplication app(argc, argv);
        installInterfaceLanguage(app, commandLine);
        return CatalogueCommand::Run(commandLine);
    }
    case CommandLine::Action::SendTest: {
        QCoreApplication app(argc, argv);
        installInterfaceLanguage(app, commandLine);
        return SendTestCommand::Run(commandLine);
    }
    case CommandLine::Action::Run:
        return runService(argc, argv, commandLine);
    case CommandLine::Action::PrintAndEnd:
    case CommandLine::Action::Fail:
        break;
    }
    // The help and the mistakes speak the language of the chosen settings.
    QCoreApplication app(argc, argv);
    installInterfaceLanguage(app, commandLine);
    return endWith(CommandLine::parse(argumentList(argc, argv)));
}

} // namespace HeadlessProgram
