#pragma once

#include <QString>

// The one alert operation: sound, balloon and a flashing tray icon.
class AlertSink {
public:
    virtual ~AlertSink() = default;
    virtual void ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) = 0;
};
