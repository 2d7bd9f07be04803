#pragma once

#include <QString>

// Notices through the desktop's notification service, for desktops whose
// alerts cannot go to a tray balloon.
class DesktopNotifications {
public:
    virtual ~DesktopNotifications() = default;
    // Shows a notice; a later one with the same source replaces it.
    virtual void notify(const QString& source, const QString& title, const QString& text) = 0;
};
