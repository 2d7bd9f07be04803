#pragma once

#include "platform/gui/TrayIcon.h"

#include <QSystemTrayIcon>

// The notification-area icon on the desktop's system tray. Clicks reach
// mouseMessage as the numbers the main window acts on. Without a tray every
// operation is a quiet no-op.
class SystemTrayIcon final : public TrayIcon {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SystemTrayIcon)
public:
    explicit SystemTrayIcon(QObject* parent = nullptr);
    ~SystemTrayIcon() override;

    // The mouse message for an activation, 0 for none. A tray that cannot
    // report double clicks reports every click as Trigger, so there a click
    // counts as a double click.
    static int mouseMessageFor(QSystemTrayIcon::ActivationReason reason,
                               bool trayReportsDoubleClicks);

    // What the tray is handed to show a tip or a balloon text written as
    // given. Where Qt draws the tray itself, the tip is a Qt tool-tip, which
    // takes markup for rich text, while its balloon is plain text. Elsewhere
    // (a StatusNotifierItem tray) the tip is a plain title and the balloon
    // goes to the desktop's notifications, whose body may hold markup.
    static QString tipFor(const QString& tip, bool drawnByQt);
    static QString balloonTextFor(const QString& text, bool drawnByQt);

    bool isAvailable() const override;
    void add(const QIcon& icon, const QString& tip) override;
    void setTip(const QString& tip) override;
    void setIcon(const QIcon& icon) override;
    void showBalloon(const QString& title, const QString& text) override;
    void remove() override;
    void setContextMenu(QMenu* menu) override;

private:
    static bool drawnByQt();
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void showTip();

    QSystemTrayIcon m_icon;
    QString m_tip;
};
