#include "service/CommandLine.h"

#include "service/MetricsEndpoint.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <utility>

QString CommandLine::versionText() {
    return QStringLiteral("servermon ") + QStringLiteral(SERVERMON_VERSION);
}

namespace {

// Columns a text takes in a terminal: East Asian wide characters take two.
int displayWidth(const QString& text) {
    int width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                          (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                          (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                          (u >= 0xFFE0 && u <= 0xFFE6);
        width += wide ? 2 : 1;
    }
    return width;
}

// The help in Qt's layout, with the descriptions aligned by display width,
// so Chinese placeholders keep the columns straight.
QString helpText(const QString& program, const QString& description,
                 const QList<QCommandLineOption>& options) {
    QStringList names;
    int widest = 0;
    for (const QCommandLineOption& option : options) {
        QStringList dashed;
        for (const QString& name : option.names())
            dashed.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        QString shown = dashed.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            shown += QStringLiteral(" <") + option.valueName() + QLatin1Char('>');
        widest = std::max(widest, displayWidth(shown));
        names.append(shown);
    }
    QString text = QStringLiteral("Usage: ") + program + QStringLiteral(" [options]\n") +
                   description + QStringLiteral("\n\nOptions:\n");
    for (qsizetype i = 0; i < options.size(); ++i)
        text += QStringLiteral("  ") + names.at(i) +
                QString(widest - displayWidth(names.at(i)) + 2, QLatin1Char(' ')) +
                options.at(i).description() + QLatin1Char('\n');
    return text;
}

} // namespace

// The options are read before the settings file is known; the program parses
// them again once the interface language is installed, for the texts it prints.
CommandLine CommandLine::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "CommandLine", "青岚服务器监控:定时检测服务器的 TCP 服务与 PING"));
    // Qt's own help option would list Qt's window-system options, which are
    // not read here.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("CommandLine", "显示本帮助并退出"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QCoreApplication::translate("CommandLine", "显示版本并退出"));
    const QCommandLineOption portable(
        QStringLiteral("portable"),
        QCoreApplication::translate("CommandLine", "便携模式:所有文件都放在程序所在的文件夹"));
    const QCommandLineOption configDir(
        QStringLiteral("config-dir"),
        QCoreApplication::translate("CommandLine", "设置、服务器列表和用户皮肤放在 <文件夹> 中"),
        QCoreApplication::translate("CommandLine", "文件夹"));
    const QCommandLineOption importFile(
        QStringLiteral("import"),
        QCoreApplication::translate("CommandLine",
                                    "把 <文件> (CSV 或 JSON) 中的服务器添加到服务器列表后退出"),
        QCoreApplication::translate("CommandLine", "文件"));
    const QCommandLineOption exportFile(
        QStringLiteral("export"),
        QCoreApplication::translate(
            "CommandLine", "把服务器列表导出到 <文件> (以 .json 结尾为 JSON,否则为 CSV) 后退出"),
        QCoreApplication::translate("CommandLine", "文件"));
    const QCommandLineOption sendTest(
        QStringLiteral("send-test"),
        QCoreApplication::translate(
            "CommandLine", "通过名为 <名称> 的通知渠道发送一条测试消息后退出(0:对方已接受,1:失败)"),
        QCoreApplication::translate("CommandLine", "名称"));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QCoreApplication::translate("CommandLine",
                                    "不显示窗口,立即开始监控,状态变化与报警写到标准输出"));
    const QCommandLineOption metrics(
        QStringLiteral("metrics"),
        QCoreApplication::translate(
            "CommandLine", "在 <地址:端口> 提供 Prometheus 监控指标(只给端口时为 127.0.0.1)"),
        QCoreApplication::translate("CommandLine", "地址:端口"));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QCoreApplication::translate(
            "CommandLine", "使用 PostgreSQL 数据库 <地址> (postgresql://用户@主机:端口/数据库)中"
                           "共享的服务器列表,而不是设置中的"),
        QCoreApplication::translate("CommandLine", "地址"));
    const QCommandLineOption copyCatalogue(
        QStringLiteral("copy-catalogue"),
        QCoreApplication::translate("CommandLine",
                                    "把服务器列表(服务器、请求模板、通知渠道、维护计划)复制到空的 "
                                    "PostgreSQL 数据库 <地址> 后退出"),
        QCoreApplication::translate("CommandLine", "地址"));
    const QCommandLineOption agent(
        QStringLiteral("agent"),
        QCoreApplication::translate("CommandLine",
                                    "共享服务器列表时以 <名称> 作为监测代理的名称(默认为主机名)"),
        QCoreApplication::translate("CommandLine", "名称"));
    const QCommandLineOption location(
        QStringLiteral("location"),
        QCoreApplication::translate("CommandLine",
                                    "共享服务器列表时本代理所在的 <位置>,只监测该位置的服务器"),
        QCoreApplication::translate("CommandLine", "位置"));
    const QList<QCommandLineOption> options{
        help,     version, portable, configDir,     importFile, exportFile, sendTest,
        headless, metrics, database, copyCatalogue, agent,      location};
    parser.addOptions(options);

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.m_action = Action::Fail;
        result.m_output = parser.errorText() + QLatin1Char('\n');
        return result;
    }
    result.m_choice.portable = parser.isSet(portable);
    result.m_choice.configDir = parser.value(configDir);
    if (parser.isSet(help)) {
        result.m_action = Action::PrintAndEnd;
        result.m_output = helpText(arguments.value(0, QStringLiteral("servermon")),
                                   parser.applicationDescription(), options);
        return result;
    }
    if (parser.isSet(version)) {
        result.m_action = Action::PrintAndEnd;
        result.m_output = versionText() + QLatin1Char('\n');
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.m_action = Action::Fail;
        result.m_output = QCoreApplication::translate("CommandLine", "多余的参数:") +
                          parser.positionalArguments().join(QLatin1Char(' ')) + QLatin1Char('\n');
        return result;
    }
    if (parser.isSet(configDir) && parser.value(configDir).isEmpty()) {
        result.m_action = Action::Fail;
        result.m_output =
            QCoreApplication::translate("CommandLine", "--config-dir 需要一个文件夹\n");
        return result;
    }
    if (parser.isSet(importFile) && parser.isSet(exportFile)) {
        result.m_action = Action::Fail;
        result.m_output =
            QCoreApplication::translate("CommandLine", "--import 和 --export 不能同时使用\n");
        return result;
    }
    if (parser.isSet(sendTest) && (parser.isSet(importFile) || parser.isSet(exportFile))) {
        result.m_action = Action::Fail;
        result.m_output = QCoreApplication::translate(
            "CommandLine", "--send-test 不能与 --import 或 --export 同时使用\n");
        return result;
    }
    for (const QCommandLineOption* option : {&database, &copyCatalogue}) {
        if (parser.isSet(*option) && parser.value(*option).trimmed().isEmpty()) {
            result.m_action = Action::Fail;
            result.m_output =
                QCoreApplication::translate("CommandLine", "--%1 需要一个数据库地址\n")
                    .arg(option->names().first());
            return result;
        }
    }
    result.m_database = parser.value(database).trimmed();
    if (parser.isSet(agent) && parser.value(agent).trimmed().isEmpty()) {
        result.m_action = Action::Fail;
        result.m_output = QCoreApplication::translate("CommandLine", "--agent 需要一个名称\n");
        return result;
    }
    result.m_agent = parser.value(agent).trimmed();
    if (parser.isSet(location))
        result.m_location = parser.value(location).trimmed();
    if (parser.isSet(copyCatalogue)) {
        if (parser.isSet(importFile) || parser.isSet(exportFile) || parser.isSet(sendTest)) {
            result.m_action = Action::Fail;
            result.m_output = QCoreApplication::translate(
                "CommandLine",
                "--copy-catalogue 不能与 --import、--export 或 --send-test 同时使用\n");
            return result;
        }
        result.m_action = Action::CopyCatalogue;
        result.m_copyTarget = parser.value(copyCatalogue).trimmed();
        return result;
    }
    if (parser.isSet(sendTest)) {
        if (parser.value(sendTest).isEmpty()) {
            result.m_action = Action::Fail;
            result.m_output =
                QCoreApplication::translate("CommandLine", "--send-test 需要一个通知渠道的名称\n");
            return result;
        }
        result.m_action = Action::SendTest;
        result.m_channelName = parser.value(sendTest);
        return result;
    }
    for (const auto& [option, action] :
         {std::pair{&importFile, Action::Import}, std::pair{&exportFile, Action::Export}}) {
        if (!parser.isSet(*option))
            continue;
        if (parser.value(*option).isEmpty()) {
            result.m_action = Action::Fail;
            result.m_output = QCoreApplication::translate("CommandLine", "--%1 需要一个文件\n")
                                  .arg(option->names().first());
            return result;
        }
        result.m_action = action;
        result.m_transferFile = parser.value(*option);
    }
    if (parser.isSet(metrics) && !MetricsEndpoint::parse(parser.value(metrics))) {
        result.m_action = Action::Fail;
        result.m_output = QCoreApplication::translate(
                              "CommandLine", "--metrics 需要 地址:端口 或 端口(1-65535):") +
                          parser.value(metrics) + QLatin1Char('\n');
        return result;
    }
    result.m_headless = parser.isSet(headless);
    result.m_metrics = parser.value(metrics);
    return result;
}
