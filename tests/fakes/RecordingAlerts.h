#pragma once

#include "monitor/AlertSink.h"

#include <QList>

// Records every ShowMsg call.
class RecordingAlerts final : public AlertSink {
public:
    struct Alert {
        int timeOut;
        QString text;
        QString title;
    };
    void ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) override {
        alerts.append({iTimeOut, sToolTip, sTitleStr});
    }
    QList<Alert> alerts;
};
