#pragma once

#include <QString>

// One server of the catalogue, as loaded into a row of the result list.
struct ServerRecord {
    qint64 id = 0;
    QString displayName;
    QString ipAddress;
    QString port;
    QString postData;
    QString replyData;
    QString addTime;
    bool inUse = true;
};
