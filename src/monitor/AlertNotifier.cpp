#include "monitor/AlertNotifier.h"

#include "monitor/ModuleTrayIcon.h"
#include "monitor/MonitorSettings.h"
#include "platform/AppPaths.h"
#include "platform/SoundPlayer.h"

AlertNotifier::AlertNotifier(SoundPlayer& sound, const MonitorSettings& settings, Pictures Picture1,
                             QObject* parent)
    : QObject(parent)
    , m_sound(sound)
    , m_settings(settings)
    , m_pictures(std::move(Picture1)) {
    TimerTrayFlash.setObjectName(QStringLiteral("TimerTrayFlash"));
    TimerTrayFlash.setInterval(1000);
    connect(&TimerTrayFlash, &QTimer::timeout, this, &AlertNotifier::TimerTrayFlash_Timer);
}

AlertNotifier::~AlertNotifier() = default;

QString AlertNotifier::soundFile() {
    return GetAppPath() + QStringLiteral("Sound/NewMessage.wav");
}

void AlertNotifier::ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) {
    Q_UNUSED(iTimeOut) // the shell's own minimum display time applies
    if (m_settings.bPlaySnd)
        m_sound.play(soundFile());
    ModuleTrayIcon::TrayBalloon(sToolTip, sTitleStr);
    if (!TimerTrayFlash.isActive())
        TimerTrayFlash.start();
}

void AlertNotifier::TimerTrayFlash_Timer() {
    FlashPhase = !FlashPhase;
    ModuleTrayIcon::TraySetIcon(m_pictures.at(FlashPhase ? 1 : 2));
}

void AlertNotifier::stopFlashing() {
    TimerTrayFlash.stop();
    ModuleTrayIcon::TraySetIcon(m_pictures.at(0));
}
