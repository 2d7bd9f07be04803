#include "monitor/ui/AlertNotifier.h"

#include "monitor/MonitorSettings.h"
#include "monitor/ui/ModuleTrayIcon.h"
#include "platform/AppPaths.h"
#include "platform/SoundPlayer.h"
#include "platform/gui/TrayIcon.h"

AlertNotifier::AlertNotifier(SoundPlayer& sound, const MonitorSettings& settings, Pictures Picture1,
                             DesktopNotifications* notifications, QObject* parent)
    : QObject(parent)
    , m_sound(sound)
    , m_settings(settings)
    , m_pictures(std::move(Picture1))
    , m_notifications(notifications) {
    TimerTrayFlash.setObjectName(QStringLiteral("TimerTrayFlash"));
    TimerTrayFlash.setInterval(1000);
    connect(&TimerTrayFlash, &QTimer::timeout, this, &AlertNotifier::TimerTrayFlash_Timer);
}

AlertNotifier::~AlertNotifier() = default;

QString AlertNotifier::soundFile() {
    return AppPaths::current().soundFile();
}

void AlertNotifier::ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) {
    Q_UNUSED(iTimeOut) // the shell's own minimum display time applies
    showAlert(QString(), sToolTip, sTitleStr);
}

void AlertNotifier::ShowServerMsg(const QString& server, int iTimeOut, const QString& sToolTip,
                                  const QString& sTitleStr) {
    Q_UNUSED(iTimeOut)
    showAlert(server, sToolTip, sTitleStr);
}

void AlertNotifier::ShowServerNotice(const QString& server, const QString& sToolTip,
                                     const QString& sTitleStr) {
    showNotice(server, sToolTip, sTitleStr, {});
}

// A tray shows its balloons as notifications itself, so a notice goes out
// only where there is no tray.
void AlertNotifier::showNotice(const QString& source, const QString& sToolTip,
                               const QString& sTitleStr,
                               const DesktopNotifications::Actions& actions) {
    const TrayIcon* tray = ModuleTrayIcon::trayIcon();
    if (!m_notifications || (tray && tray->isAvailable()))
        ModuleTrayIcon::TrayBalloon(sToolTip, sTitleStr);
    else if (actions.isEmpty())
        m_notifications->notify(source, sTitleStr, sToolTip);
    else
        m_notifications->notifyWithActions(source, sTitleStr, sToolTip, actions);
}

void AlertNotifier::showAlert(const QString& source, const QString& sToolTip,
                              const QString& sTitleStr) {
    if (m_settings.bPlaySnd)
        m_sound.play(soundFile());
    showNotice(source, sToolTip, sTitleStr,
               source.isEmpty() ? DesktopNotifications::Actions() : m_alertActions);
    if (!TimerTrayFlash.isActive())
        TimerTrayFlash.start();
    emit alerted();
}

void AlertNotifier::TimerTrayFlash_Timer() {
    FlashPhase = !FlashPhase;
    ModuleTrayIcon::TraySetIcon(m_pictures.at(FlashPhase ? 1 : 2));
}

void AlertNotifier::stopFlashing() {
    TimerTrayFlash.stop();
    ModuleTrayIcon::TraySetIcon(m_pictures.at(0));
}
