#include "service/SendTestCommand.h"

#include "catalogue/ModuleDB.h"
#include "config/ModuleINI.h"
#include "notify/Channel.h"
#include "notify/ChannelCatalogue.h"
#include "notify/ChannelDelivery.h"
#include "notify/ChannelMessage.h"
#include "platform/AppPaths.h"
#include "platform/SystemClock.h"
#include "service/CatalogueChoice.h"
#include "service/CommandLine.h"
#include "service/HeadlessProgram.h"

#include <QCoreApplication>

#include <optional>

namespace SendTestCommand {
namespace {

std::optional<Channel> findChannel(const QString& name, QString& error) {
    CatalogueChoice::useConfigured();
    if (!ModuleDB::DbOpen()) {
        error = QCoreApplication::translate("SendTestCommand", "无法打开服务器列表 ") +
                ModuleDB::DbName();
        return std::nullopt;
    }
    std::optional<Channel> channel = ChannelCatalogue::FindChannel(name);
    ModuleDB::DbClose();
    if (!channel)
        error = QCoreApplication::translate("SendTestCommand", "没有名为“%1”的通知渠道").arg(name);
    return channel;
}

} // namespace

int Run(const CommandLine& commandLine) {
    AppPaths::setCurrent(
        AppPaths::decide(QCoreApplication::applicationDirPath(), commandLine.pathChoice()));
    QString error;
    const std::optional<Channel> channel = findChannel(commandLine.channelName(), error);
    if (!channel) {
        HeadlessProgram::print(stderr, error + QLatin1Char('\n'));
        return 1;
    }
    SystemClock clock;
    ChannelDelivery delivery(clock);
    delivery.setCaFile(
        ModuleINI::IniPeekString(QStringLiteral("SETUP"), QStringLiteral("TLSCAFILE")));
    SendOutcome outcome;
    delivery.send(*channel, channelTestMessage(channel->name), [&outcome](const SendOutcome& sent) {
        outcome = sent;
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    if (!outcome.accepted) {
        HeadlessProgram::print(
            stderr, QCoreApplication::translate("SendTestCommand", "测试消息没有送达“%1”:%2\n")
                        .arg(channel->name, outcome.reason));
        return 1;
    }
    HeadlessProgram::print(
        stdout,
        QCoreApplication::translate("SendTestCommand", "测试消息已送达“%1”\n").arg(channel->name));
    return 0;
}

} // namespace SendTestCommand
