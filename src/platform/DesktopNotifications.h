#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

// Notices through the desktop's notification service, for desktops whose
// alerts cannot go to a tray balloon.
class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DesktopNotifications() override = default;

    using Actions = QList<QPair<QString, QString>>; // key, caption

    // Shows a notice; a later one with the same source replaces it.
    virtual void notify(const QString& source, const QString& title, const QString& text) = 0;
    // The same with choices on the notice, where the service offers them;
    // elsewhere the notice shows without them.
    virtual void notifyWithActions(const QString& source, const QString& title, const QString& text,
                                   const Actions& actions) {
        Q_UNUSED(actions)
        notify(source, title, text);
    }

signals:
    // The operator clicked one of the notices, as a balloon is clicked.
    void clicked();
    // The operator chose one of the choices (its key) on the source's notice.
    void actionInvoked(const QString& source, const QString& key);
};
