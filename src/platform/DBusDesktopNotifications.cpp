#include "platform/DBusDesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <algorithm>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// The service decides how long a notice stays.
constexpr int DefaultExpiry = -1;
// The action a click on the notice invokes.
const QString DefaultAction = QStringLiteral("default");

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(Service, Path, Interface, method);
}

} // namespace

DBusDesktopNotifications::DBusDesktopNotifications(const QString& appName, const QString& iconName,
                                                   const QString& desktopEntry, QObject* parent)
    : DesktopNotifications(parent)
    , m_appName(appName)
    , m_iconName(iconName)
    , m_desktopEntry(desktopEntry) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<QStringList> reply = *finished;
                if (reply.isValid()) {
                    m_bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
                    m_actions = reply.value().contains(QStringLiteral("actions"));
                }
                finished->deleteLater();
            });
}

DBusDesktopNotifications::~DBusDesktopNotifications() = default;

QString DBusDesktopNotifications::bodyText(const QString& text, bool markup) {
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return markup ? body.toHtmlEscaped() : body;
}

void DBusDesktopNotifications::notify(const QString& source, const QString& title,
                                      const QString& text) {
    notifyWithActions(source, title, text, {});
}

void DBusDesktopNotifications::notifyWithActions(const QString& source, const QString& title,
                                                 const QString& text, const Actions& actions) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage message = call(QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), m_desktopEntry}};
    QStringList actionList{DefaultAction, tr("显示主窗口")};
    if (m_actions) {
        for (const auto& [key, caption] : actions)
            actionList << key << caption;
    }
    message << m_appName << m_lastIds.value(source) << m_iconName << title
            << bodyText(text, m_bodyMarkup) << actionList << hints << DefaultExpiry;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, source](QDBusPendingCallWatcher* finished) {
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isValid())
                    m_lastIds.insert(source, reply.value());
                finished->deleteLater();
            });
}

// Every program's actions arrive on the bus: only those on one of this
// program's current notices count.
void DBusDesktopNotifications::onActionInvoked(uint id, const QString& action) {
    if (id == 0)
        return;
    const auto found = std::find(m_lastIds.cbegin(), m_lastIds.cend(), id);
    if (found == m_lastIds.cend())
        return;
    if (action == DefaultAction)
        emit clicked();
    else
        emit actionInvoked(found.key(), action);
}
