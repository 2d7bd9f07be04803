#pragma once

#include <QtGlobal>

class AlertNotifier;
class FormMain;
class TrayIcon;

// The main window beside the notification area: minimised, it leaves the
// task bar for the tray icon; closed without the exit command, it minimises,
// and the first time says where it went; the icon brings it back. Without a
// notification area the window stays on the task bar, so it can always be
// reached again.
class TrayHiding final {
    Q_DISABLE_COPY_MOVE(TrayHiding)
public:
    TrayHiding(FormMain& window, const TrayIcon& tray, AlertNotifier& alerts);

    // After a change of the window state.
    void hideWhenMinimised();
    // A close that is not the exit.
    void minimiseOnClose();
    void restoreFromTray();
    // The next close explains itself in a balloon.
    void armCloseHint() { FirstCloseHint = true; }

private:
    void showCloseHint();

    FormMain& m_window;
    const TrayIcon& m_tray;
    AlertNotifier& m_alerts;
    bool FirstCloseHint = false;
};
