#pragma once

#include "monitor/AlertSink.h"

#include <QList>

// Records every alert; server is empty for ShowMsg, notice set for
// ShowServerNotice.
class RecordingAlerts final : public AlertSink {
public:
    struct Alert {
        int timeOut;
        QString text;
        QString title;
        QString server;
        bool notice = false;
    };
    void ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) override {
        alerts.append({iTimeOut, sToolTip, sTitleStr, {}});
    }
    void ShowServerMsg(const QString& server, int iTimeOut, const QString& sToolTip,
                       const QString& sTitleStr) override {
        alerts.append({iTimeOut, sToolTip, sTitleStr, server});
    }
    void ShowServerNotice(const QString& server, const QString& sToolTip,
                          const QString& sTitleStr) override {
        alerts.append({0, sToolTip, sTitleStr, server, true});
    }
    QList<Alert> alerts;
};
