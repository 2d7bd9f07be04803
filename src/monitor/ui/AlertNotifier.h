#pragma once

#include "monitor/AlertSink.h"
#include "platform/DesktopNotifications.h"
#include "platform/gui/AlertPictures.h"

#include <QObject>
#include <QTimer>

class SoundPlayer;
struct MonitorSettings;

// Tells the operator about trouble through the notification-area icon:
// the alert sound, a balloon and the icon flashing between the two alert
// pictures until stopFlashing. Drives the icon through ModuleTrayIcon.
// Without a tray the balloon becomes a desktop notification, one per server.
class AlertNotifier final : public QObject, public AlertSink {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlertNotifier)
public:
    using Pictures = AlertPictures;

    // settings is read at every alert, so a changed sound switch applies at once.
    // notifications may be null: then alerts without a tray show nothing.
    AlertNotifier(SoundPlayer& sound, const MonitorSettings& settings, Pictures Picture1,
                  DesktopNotifications* notifications = nullptr, QObject* parent = nullptr);
    ~AlertNotifier() override;

    static QString soundFile(); // the alert sound where AppPaths finds it

    void ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) override;
    void ShowServerMsg(const QString& server, int iTimeOut, const QString& sToolTip,
                       const QString& sTitleStr) override;
    // The balloon or notice alone: no sound, no flashing.
    void ShowServerNotice(const QString& server, const QString& sToolTip,
                          const QString& sTitleStr) override;
    // The choices a server's alert offers on a desktop notice.
    void setAlertActions(const DesktopNotifications::Actions& actions) { m_alertActions = actions; }
    void TimerTrayFlash_Timer();
    // Ends flashing and puts the normal icon back.
    void stopFlashing();

    bool isFlashing() const { return TimerTrayFlash.isActive(); }
    bool flashPhase() const { return FlashPhase; }
    const Pictures& pictures() const { return m_pictures; }

signals:
    // An alert was shown; the window asks for the operator's attention.
    void alerted();

private:
    void showAlert(const QString& source, const QString& sToolTip, const QString& sTitleStr);
    void showNotice(const QString& source, const QString& sToolTip, const QString& sTitleStr,
                    const DesktopNotifications::Actions& actions);

    SoundPlayer& m_sound;
    const MonitorSettings& m_settings;
    Pictures m_pictures;
    DesktopNotifications* m_notifications;
    DesktopNotifications::Actions m_alertActions;
    QTimer TimerTrayFlash;
    bool FlashPhase = false;
};
