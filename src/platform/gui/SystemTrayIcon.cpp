#include "platform/gui/SystemTrayIcon.h"

#include "platform/PlainText.h"

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

QString SystemTrayIcon::tipFor(const QString& tip, bool drawnByQt) {
    return drawnByQt ? PlainText::asRichText(tip) : tip;
}

QString SystemTrayIcon::balloonTextFor(const QString& text, bool drawnByQt) {
    return drawnByQt ? text : text.toHtmlEscaped();
}

// The X11 embedding tray, which Qt draws with a widget of its own once the
// icon is shown. Only it tells double clicks apart; StatusNotifierItem
// trays report single clicks.
bool SystemTrayIcon::drawnByQt() {
    const auto widgets = QApplication::topLevelWidgets();
    return std::any_of(widgets.cbegin(), widgets.cend(),
                       [](const QWidget* w) { return w->inherits("QSystemTrayIconSys"); });
}

void SystemTrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason) {
    if (const int message = mouseMessageFor(reason, drawnByQt()))
        emit mouseMessage(message);
}

bool SystemTrayIcon::isAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayIcon::add(const QIcon& icon, const QString& tip) {
    setIcon(icon);
    m_tip = tip;
    if (isAvailable())
        m_icon.show();
    showTip(); // after show: only then is it known who draws the tray
}

void SystemTrayIcon::setTip(const QString& tip) {
    m_tip = tip;
    showTip();
}

void SystemTrayIcon::showTip() {
    m_icon.setToolTip(tipFor(m_tip, drawnByQt()));
}

// A tray entry without a picture would be invisible: the program's own
// icon stands in for a missing one.
void SystemTrayIcon::setIcon(const QIcon& icon) {
    m_icon.setIcon(icon.isNull() ? QApplication::windowIcon() : icon);
}

void SystemTrayIcon::showBalloon(const QString& title, const QString& text) {
    if (m_icon.isVisible())
        m_icon.showMessage(title, balloonTextFor(text, drawnByQt()), QSystemTrayIcon::Information);
}

void SystemTrayIcon::remove() {
    m_icon.hide();
}

void SystemTrayIcon::setContextMenu(QMenu* menu) {
    m_icon.setContextMenu(menu);
}
