#pragma once

#include "monitor/AlertSink.h"

#include <QList>

// Records every alert; server is empty for ShowMsg.
class RecordingAlerts final : public AlertSink {
public:
    struct Alert {
        int timeOut;
        QString text;
        QString title;
        QString server;
    };
    void ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) override {
        alerts.append({iTimeOut, sToolTip, sTitleStr, {}});
    }
    void ShowServerMsg(const QString& server, int iTimeOut, const QString& sToolTip,
                       const QString& sTitleStr) override {
        alerts.append({iTimeOut, sToolTip, sTitleStr, server});
    }
    QList<Alert> alerts;
};
