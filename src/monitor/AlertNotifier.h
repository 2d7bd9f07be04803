#pragma once

#include "monitor/AlertSink.h"
#include "platform/AlertPictures.h"

#include <QObject>
#include <QTimer>

class SoundPlayer;
struct MonitorSettings;

// Tells the operator about trouble through the notification-area icon:
// the alert sound, a balloon and the icon flashing between the two alert
// pictures until stopFlashing. Drives the icon through ModuleTrayIcon.
class AlertNotifier final : public QObject, public AlertSink {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlertNotifier)
public:
    using Pictures = AlertPictures;

    // settings is read at every alert, so a changed sound switch applies at once.
    AlertNotifier(SoundPlayer& sound, const MonitorSettings& settings, Pictures Picture1,
                  QObject* parent = nullptr);
    ~AlertNotifier() override;

    static QString soundFile(); // the alert sound beside the program

    void ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) override;
    void TimerTrayFlash_Timer();
    // Ends flashing and puts the normal icon back.
    void stopFlashing();

    bool isFlashing() const { return TimerTrayFlash.isActive(); }
    bool flashPhase() const { return FlashPhase; }
    const Pictures& pictures() const { return m_pictures; }

private:
    SoundPlayer& m_sound;
    const MonitorSettings& m_settings;
    Pictures m_pictures;
    QTimer TimerTrayFlash;
    bool FlashPhase = false;
};
