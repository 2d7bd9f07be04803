#pragma once

#include "notify/ChannelKind.h"

#include <QJsonObject>
#include <QString>

// One notification channel of the catalogue (table Channels). settings holds
// the kind's keys:
//   webhook   url, method (POST or PUT), headers (text, one "Name: value" a
//             line), template (the body; empty: the default JSON body)
//   email     host, port, security (none, starttls or tls), user, from,
//             to (an array of addresses)
//   dingtalk  url        feishu  url        wecom  url, format (text, markdown)
//   telegram  api (the API base URL), chat
//   ntfy      url (the server), topic, priority (1-5)
//   command   program, args (an array)
// secret holds the password, token or signing secret; it is never logged
// or shown.
struct Channel {
    qint64 id = 0;
    ChannelKind kind = ChannelKind::Webhook;
    QString name;
    bool enabled = true;
    QJsonObject settings;
    QString secret;
    bool sendRecovery = true;
    // More messages than this within a minute go out as one digest; 0: no
    // limit.
    int stormLimit = 10;
};
