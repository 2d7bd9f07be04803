#pragma once

#include "platform/DesktopNotifications.h"

#include <QHash>

// Desktop notifications over org.freedesktop.Notifications on the session
// bus. Each source keeps the id of its last notice, which the next one
// replaces; a notice's default action (a click on it) is reported as
// clicked. Without a session bus or a notification service nothing shows.
class DBusDesktopNotifications final : public DesktopNotifications {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DBusDesktopNotifications)
public:
    // appName and iconName as the notices name the program; desktopEntry is
    // the desktop entry's id without ".desktop".
    DBusDesktopNotifications(const QString& appName, const QString& iconName,
                             const QString& desktopEntry, QObject* parent = nullptr);
    ~DBusDesktopNotifications() override;

    void notify(const QString& source, const QString& title, const QString& text) override;
    // The choices go out only to a service that offers actions.
    void notifyWithActions(const QString& source, const QString& title, const QString& text,
                           const Actions& actions) override;
    // The id the service gave the source's last notice, 0 before one.
    uint lastId(const QString& source) const { return m_lastIds.value(source); }

    // The body as sent: line breaks as "\n", and escaped where the service
    // reads markup.
    static QString bodyText(const QString& text, bool markup);

private slots:
    void onActionInvoked(uint id, const QString& action);

private:
    QString m_appName;
    QString m_iconName;
    QString m_desktopEntry;
    bool m_bodyMarkup = false;
    bool m_actions = false;
    QHash<QString, uint> m_lastIds;
};
