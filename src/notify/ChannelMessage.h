#pragma once

#include "monitor/AlertEvent.h"

#include <QString>

// What one channel delivers once: the title and text people read, the event
// behind them (for placeholders and fields), and the key that marks a resend
// of the same message.
struct ChannelMessage {
    QString title;
    QString message;
    AlertEvent event;
    QString dedupKey;
};

// The message "发送测试" and --send-test send through the named channel: no
// server and no event time, so every kind shows it as a test.
ChannelMessage channelTestMessage(const QString& channelName);
