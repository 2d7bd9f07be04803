#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QMenu;

// The program's one notification-area icon. mouseMessage carries the
// platform mouse message numbers the main window acts on.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int DoubleClick = 515;
    static constexpr int RightButtonUp = 517;
    static constexpr int BalloonClicked = 1029;

    using QObject::QObject;
    ~TrayIcon() override = default;

    virtual bool isAvailable() const = 0;
    virtual void add(const QIcon& icon, const QString& tip) = 0;
    virtual void setTip(const QString& tip) = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    virtual void showBalloon(const QString& title, const QString& text) = 0;
    virtual void remove() = 0;
    // The menu the tray itself opens on the icon (StatusNotifierItem trays
    // may show no icon without one).
    virtual void setContextMenu(QMenu* menu) = 0;

signals:
    void mouseMessage(int message);
};
