#include "platform/gui/SystemTrayIcon.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>

SystemTrayIcon::SystemTrayIcon(QObject* parent)
    : TrayIcon(parent) {
    connect(&m_icon, &QSystemTrayIcon::activated, this, &SystemTrayIcon::onActivated);
    connect(&m_icon, &QSystemTrayIcon::messageClicked, this,
            [this] { emit mouseMessage(BalloonClicked); });
}

SystemTrayIcon::~SystemTrayIcon() = default;

int SystemTrayIcon::mouseMessageFor(QSystemTrayIcon::ActivationReason reason,
                                    bool trayReportsDoubleClicks) {
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        return DoubleClick;
    case QSystemTrayIcon::Trigger:
        return trayReportsDoubleClicks ? 0 : DoubleClick;
    case QSystemTrayIcon::Context:
        return RightButtonUp;
    case QSystemTrayIcon::Unknown:
    case QSystemTrayIcon::MiddleClick:
        break;
    }
    return 0;
}

// Only the X11 embedding tray, which Qt draws with a widget of its own,
// tells double clicks apart; StatusNotifierItem trays report single clicks.
bool SystemTrayIcon::trayReportsDoubleClicks() {
    const auto widgets = QApplication::topLevelWidgets();
    return std::any_of(widgets.cbegin(), widgets.cend(),
                       [](const QWidget* w) { return w->inherits("QSystemTrayIconSys"); });
}

void SystemTrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason) {
    if (const int message = mouseMessageFor(reason, trayReportsDoubleClicks()))
        emit mouseMessage(message);
}

bool SystemTrayIcon::isAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayIcon::add(const QIcon& icon, const QString& tip) {
    setIcon(icon);
    m_icon.setToolTip(tip);
    if (isAvailable())
        m_icon.show();
}

void SystemTrayIcon::setTip(const QString& tip) {
    m_icon.setToolTip(tip);
}

// A tray entry without a picture would be invisible: the program's own
// icon stands in for a missing one.
void SystemTrayIcon::setIcon(const QIcon& icon) {
    m_icon.setIcon(icon.isNull() ? QApplication::windowIcon() : icon);
}

void SystemTrayIcon::showBalloon(const QString& title, const QString& text) {
    if (m_icon.isVisible())
        m_icon.showMessage(title, text, QSystemTrayIcon::Information);
}

void SystemTrayIcon::remove() {
    m_icon.hide();
}

void SystemTrayIcon::setContextMenu(QMenu* menu) {
    m_icon.setContextMenu(menu);
}
