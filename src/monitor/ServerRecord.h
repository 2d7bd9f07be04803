#pragma once

#include <QString>

// One server of the catalogue, as loaded into a row of the result list.
struct ServerRecord {
    // silencedUntil: 0 not silenced, this value until the server's next
    // recovery, otherwise the UTC time in ms since the epoch when it ends.
    static constexpr qint64 SilencedUntilRecovery = -1;

    qint64 id = 0;
    QString displayName;
    QString ipAddress;
    QString port;
    QString postData;
    QString replyData;
    QString addTime;
    bool inUse = true;
    qint32 warnMs = 0; // a correct reply slower than this is slow; 0: no warning
    qint64 silencedUntil = 0;
};
