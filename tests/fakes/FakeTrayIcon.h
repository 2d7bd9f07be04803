#pragma once

#include "platform/gui/TrayIcon.h"

#include <QStringList>

// A tray that records what it was asked to show. available decides
// whether the desktop is taken to have a tray.
class FakeTrayIcon final : public TrayIcon {
    Q_OBJECT
public:
    using TrayIcon::TrayIcon;

    bool isAvailable() const override { return available; }
    void add(const QIcon& icon, const QString& tip) override;
    void setTip(const QString& tip) override;
    void setIcon(const QIcon& icon) override;
    void showBalloon(const QString& title, const QString& text) override;
    void remove() override;
    void setContextMenu(QMenu* menu) override { contextMenu = menu; }

    bool available = true;
    bool added = false;
    QMenu* contextMenu = nullptr;
    QString tip;
    QIcon icon;
    int iconChanges = 0;
    QStringList balloons; // "title|text"
    QStringList calls;    // operation names in order
};
