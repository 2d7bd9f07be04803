#pragma once

#include <QObject>
#include <QString>

// Notices through the desktop's notification service, for desktops whose
// alerts cannot go to a tray balloon.
class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DesktopNotifications() override = default;

    // Shows a notice; a later one with the same source replaces it.
    virtual void notify(const QString& source, const QString& title, const QString& text) = 0;

signals:
    // The operator clicked one of the notices, as a balloon is clicked.
    void clicked();
};
