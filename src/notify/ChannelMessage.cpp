#include "notify/ChannelMessage.h"

#include <QCoreApplication>
#include <QUuid>

ChannelMessage channelTestMessage(const QString& channelName) {
    ChannelMessage message;
    message.title = QCoreApplication::translate("ChannelMessage", "servermon测试消息");
    message.message = QCoreApplication::translate(
                          "ChannelMessage", "这是一条测试消息,收到即表示通知渠道“%1”工作正常。")
                          .arg(channelName);
    message.event.title = message.title;
    message.event.message = message.message;
    message.dedupKey = QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    return message;
}
