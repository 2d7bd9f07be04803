#include "service/CommandLine.h"

#include "service/MetricsEndpoint.h"

#include <QCommandLineParser>
#include <utility>

QString CommandLine::versionText() {
    return QStringLiteral("servermon ") + QStringLiteral(SERVERMON_VERSION);
}

// The options are read before the settings file, and with it the interface
// language, is known: the help and the option errors are always Chinese.
CommandLine CommandLine::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("青岚服务器监控:定时检测服务器的 TCP 服务与 PING"));
    // Qt's own help option would list Qt's window-system options, which are
    // not read here.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示本帮助并退出"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("显示版本并退出"));
    const QCommandLineOption portable(QStringLiteral("portable"),
                                      QStringLiteral("便携模式:所有文件都放在程序所在的文件夹"));
    const QCommandLineOption configDir(QStringLiteral("config-dir"),
                                       QStringLiteral("设置、服务器列表和用户皮肤放在 <文件夹> 中"),
                                       QStringLiteral("文件夹"));
    const QCommandLineOption importFile(
        QStringLiteral("import"),
        QStringLiteral("把 <文件> (CSV 或 JSON) 中的服务器添加到服务器列表后退出"),
        QStringLiteral("文件"));
    const QCommandLineOption exportFile(
        QStringLiteral("export"),
        QStringLiteral("把服务器列表导出到 <文件> (以 .json 结尾为 JSON,否则为 CSV) 后退出"),
        QStringLiteral("文件"));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("不显示窗口,立即开始监控,状态变化与报警写到标准输出"));
    const QCommandLineOption metrics(
        QStringLiteral("metrics"),
        QStringLiteral("在 <地址:端口> 提供 Prometheus 监控指标(只给端口时为 127.0.0.1)"),
        QStringLiteral("地址:端口"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(portable);
    parser.addOption(configDir);
    parser.addOption(importFile);
    parser.addOption(exportFile);
    parser.addOption(headless);
    parser.addOption(metrics);

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.m_action = Action::Fail;
        result.m_output = parser.errorText() + QLatin1Char('\n');
        return result;
    }
    if (parser.isSet(help)) {
        result.m_action = Action::PrintAndEnd;
        // Without an application object Qt cannot name the program itself.
        result.m_output = parser.helpText().replace(
            QStringLiteral("<executable_name>"), arguments.value(0, QStringLiteral("servermon")));
        return result;
    }
    if (parser.isSet(version)) {
        result.m_action = Action::PrintAndEnd;
        result.m_output = versionText() + QLatin1Char('\n');
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.m_action = Action::Fail;
        result.m_output = QStringLiteral("多余的参数:") +
                          parser.positionalArguments().join(QLatin1Char(' ')) + QLatin1Char('\n');
        return result;
    }
    if (parser.isSet(configDir) && parser.value(configDir).isEmpty()) {
        result.m_action = Action::Fail;
        result.m_output = QStringLiteral("--config-dir 需要一个文件夹\n");
        return result;
    }
    if (parser.isSet(importFile) && parser.isSet(exportFile)) {
        result.m_action = Action::Fail;
        result.m_output = QStringLiteral("--import 和 --export 不能同时使用\n");
        return result;
    }
    for (const auto& [option, action] :
         {std::pair{&importFile, Action::Import}, std::pair{&exportFile, Action::Export}}) {
        if (!parser.isSet(*option))
            continue;
        if (parser.value(*option).isEmpty()) {
            result.m_action = Action::Fail;
            result.m_output = QStringLiteral("--%1 需要一个文件\n").arg(option->names().first());
            return result;
        }
        result.m_action = action;
        result.m_transferFile = parser.value(*option);
    }
    if (parser.isSet(metrics) && !MetricsEndpoint::parse(parser.value(metrics))) {
        result.m_action = Action::Fail;
        result.m_output = QStringLiteral("--metrics 需要 地址:端口 或 端口(1-65535):") +
                          parser.value(metrics) + QLatin1Char('\n');
        return result;
    }
    result.m_headless = parser.isSet(headless);
    result.m_metrics = parser.value(metrics);
    result.m_choice.portable = parser.isSet(portable);
    result.m_choice.configDir = parser.value(configDir);
    return result;
}
