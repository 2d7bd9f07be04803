#pragma once

#include <QString>

// The one alert operation: sound, balloon and a flashing tray icon.
class AlertSink {
public:
    virtual ~AlertSink() = default;
    virtual void ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) = 0;
    // An alert about one server (its catalogue ID); a sink that keeps one
    // notice per server replaces that server's previous one.
    virtual void ShowServerMsg(const QString& server, int iTimeOut, const QString& sToolTip,
                               const QString& sTitleStr) {
        Q_UNUSED(server)
        ShowMsg(iTimeOut, sToolTip, sTitleStr);
    }
    // News about one server that needs no attention: shown like an alert,
    // but a sink that sounds or flashes for alerts does neither.
    virtual void ShowServerNotice(const QString& server, const QString& sToolTip,
                                  const QString& sTitleStr) {
        ShowServerMsg(server, 4, sToolTip, sTitleStr);
    }
};
