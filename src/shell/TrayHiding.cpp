#include "shell/TrayHiding.h"

#include "monitor/ui/AlertNotifier.h"
#include "platform/gui/TrayIcon.h"
#include "shell/FormMain.h"

TrayHiding::TrayHiding(FormMain& window, const TrayIcon& tray, AlertNotifier& alerts)
    : m_window(window)
    , m_tray(tray)
    , m_alerts(alerts) {}

void TrayHiding::hideWhenMinimised() {
    if (!m_window.isMinimized() || !m_tray.isAvailable())
        return;
    // Hidden once the minimise has finished; showMinimized() makes the
    // window visible again after announcing the new state.
    QMetaObject::invokeMethod(
        &m_window,
        [window = &m_window] {
            if (window->isMinimized())
                window->hide();
        },
        Qt::QueuedConnection);
}

void TrayHiding::minimiseOnClose() {
    m_window.showMinimized();
    if (FirstCloseHint && m_tray.isAvailable())
        showCloseHint();
}

// The close hint is the window's text and keeps its translation context.
void TrayHiding::showCloseHint() {
    const QString CrLf = QStringLiteral("\r\n");
    m_alerts.ShowMsg(4,
                     FormMain::tr("我并没有被关闭！而是被最小化到了这里") + CrLf +
                         FormMain::tr("如果要退出程序，请右键我！然后选择退出"),
                     FormMain::tr("你注意到没？"));
    FirstCloseHint = false;
    m_window.Form_Activate();
}

void TrayHiding::restoreFromTray() {
    m_window.Form_Activate();
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}
