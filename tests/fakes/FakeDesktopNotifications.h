#pragma once

#include "platform/DesktopNotifications.h"

#include <QStringList>

// Records every notice as "source|title|text", and the keys of the choices
// each notice with choices offered.
class FakeDesktopNotifications final : public DesktopNotifications {
    Q_OBJECT
public:
    using DesktopNotifications::DesktopNotifications;

    void notify(const QString& source, const QString& title, const QString& text) override {
        notices.append(source + QLatin1Char('|') + title + QLatin1Char('|') + text);
    }
    void notifyWithActions(const QString& source, const QString& title, const QString& text,
                           const Actions& actions) override {
        notify(source, title, text);
        QStringList keys;
        for (const auto& action : actions)
            keys << action.first;
        actionKeys.append(keys.join(QLatin1Char(',')));
    }
    QStringList notices;
    QStringList actionKeys;
};
