#pragma once

#include "platform/DesktopNotifications.h"

#include <QStringList>

// Records every notice as "source|title|text".
class FakeDesktopNotifications final : public DesktopNotifications {
    Q_OBJECT
public:
    using DesktopNotifications::DesktopNotifications;

    void notify(const QString& source, const QString& title, const QString& text) override {
        notices.append(source + QLatin1Char('|') + title + QLatin1Char('|') + text);
    }
    QStringList notices;
};
