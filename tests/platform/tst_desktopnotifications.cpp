#include "FakeSoundPlayer.h"
#include "FakeTrayIcon.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ui/AlertNotifier.h"
#include "monitor/ui/ModuleTrayIcon.h"
#include "platform/DBusDesktopNotifications.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString DesktopId = QStringLiteral("io.example.servermon-test");

// A notification service on the session bus, on a connection of its own as
// a desktop's would be. It records every notice and numbers them from 1.
class FakeNotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice {
        QString appName;
        uint replacesId;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout;
    };

    QList<Notice> notices;
    uint lastId = 0;
    QStringList capabilities;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout) {
        notices.append({appName, replacesId, icon, summary, body, actions, hints, expireTimeout});
        return replacesId != 0 ? replacesId : ++lastId;
    }
    QStringList GetCapabilities() { return capabilities; }
    void CloseNotification(uint id) { Q_UNUSED(id) }
};

} // namespace

class TestDesktopNotifications final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus: run under dbus-run-session");
        m_bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                              QStringLiteral("fake-notification-server"));
        QVERIFY(m_bus.isConnected());
        QVERIFY(m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_server,
                                     QDBusConnection::ExportAllSlots));
        QVERIFY(m_bus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void cleanupTestCase() {
        if (m_bus.isConnected())
            m_bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-notification-server"));
    }
    void init() {
        m_server.notices.clear();
        m_server.capabilities = QStringList{QStringLiteral("body")};
    }

    void aServersNewNoticeReplacesItsPrevious() {
        DBusDesktopNotifications notifications(QStringLiteral("servermon"), DesktopId, DesktopId);
        notifications.notify(QStringLiteral("7"), QStringLiteral("注意:服务器PING异常"),
                             QStringLiteral("IP:127.0.0.1\r\n状态:正在尝试连接服务器"));
        QTRY_COMPARE(m_server.notices.size(), 1);
        const FakeNotificationServer::Notice first = m_server.notices.at(0);
        QCOMPARE(first.appName, QStringLiteral("servermon"));
        QCOMPARE(first.replacesId, 0u);
        QCOMPARE(first.icon, DesktopId);
        QCOMPARE(first.summary, QStringLiteral("注意:服务器PING异常"));
        QCOMPARE(first.body, QStringLiteral("IP:127.0.0.1\n状态:正在尝试连接服务器"));
        QCOMPARE(first.hints.value(QStringLiteral("desktop-entry")).toString(), DesktopId);
        QCOMPARE(first.expireTimeout, -1);

        QTRY_COMPARE(notifications.lastId(QStringLiteral("7")), 1u);

        // Another server gets a notice of its own; the first server's next
        // one takes the place of its first.
        notifications.notify(QStringLiteral("8"), QStringLiteral("注意:服务器测试返回异常"),
                             QStringLiteral("IP:127.0.0.2"));
        QTRY_COMPARE(notifications.lastId(QStringLiteral("8")), 2u);
        QCOMPARE(m_server.notices.at(1).replacesId, 0u);
        notifications.notify(QStringLiteral("7"), QStringLiteral("注意:服务器测试返回异常"),
                             QStringLiteral("IP:127.0.0.1"));
        QTRY_COMPARE(m_server.notices.size(), 3);
        QCOMPARE(m_server.notices.at(2).replacesId, 1u);
        QCOMPARE(m_server.lastId, 2u);
    }

    void alertsWithoutATrayBecomeNotices() {
        FakeTrayIcon tray;
        tray.available = false;
        ModuleTrayIcon::setTrayIcon(&tray);
        FakeSoundPlayer sound;
        MonitorSettings settings;
        settings.bPlaySnd = false;
        DBusDesktopNotifications notifications(QStringLiteral("servermon"), DesktopId, DesktopId);
        AlertNotifier alerts(sound, settings, {}, &notifications);
        alerts.ShowServerMsg(QStringLiteral("3"), 4, QStringLiteral("IP:127.0.0.3"),
                             QStringLiteral("注意:服务器PING异常"));
        QTRY_COMPARE(m_server.notices.size(), 1);
        QCOMPARE(m_server.notices.at(0).summary, QStringLiteral("注意:服务器PING异常"));
        QVERIFY(tray.balloons.isEmpty());

        // With a tray the balloon is the notice: nothing goes to the service.
        tray.available = true;
        alerts.ShowServerMsg(QStringLiteral("3"), 4, QStringLiteral("IP:127.0.0.3"),
                             QStringLiteral("注意:服务器PING异常"));
        QCOMPARE(tray.balloons.size(), 1);
        ModuleTrayIcon::setTrayIcon(nullptr);
        // Messages on one connection arrive in order: once this one is
        // there, an earlier one would be too.
        notifications.notify(QStringLiteral("barrier"), QStringLiteral("t"), QStringLiteral("b"));
        QTRY_COMPARE(m_server.notices.size(), 2);
        QCOMPARE(m_server.notices.at(1).summary, QStringLiteral("t"));
    }

    // A click on one of this program's notices counts; other programs'
    // notices and other actions do not.
    void aClickOnANoticeIsReported() {
        DBusDesktopNotifications notifications(QStringLiteral("servermon"), DesktopId, DesktopId);
        QSignalSpy clicked(&notifications, &DesktopNotifications::clicked);
        notifications.notify(QStringLiteral("4"), QStringLiteral("t"), QStringLiteral("b"));
        QTRY_VERIFY(notifications.lastId(QStringLiteral("4")) != 0);
        const uint id = notifications.lastId(QStringLiteral("4"));
        QCOMPARE(m_server.notices.constLast().actions.value(0), QStringLiteral("default"));
        invokeAction(id + 100, QStringLiteral("default"));
        invokeAction(id, QStringLiteral("other"));
        invokeAction(id, QStringLiteral("default"));
        // Signals from one connection arrive in order.
        QTRY_COMPARE(clicked.size(), 1);
    }

    // Choices go out only to a service that offers actions; choosing one is
    // reported with the source of its notice, and is no click.
    void choicesOnANotice_data() {
        QTest::addColumn<bool>("offered");
        QTest::newRow("service offers actions") << true;
        QTest::newRow("service without actions") << false;
    }
    void choicesOnANotice() {
        QFETCH(bool, offered);
        if (offered)
            m_server.capabilities << QStringLiteral("actions");
        DBusDesktopNotifications notifications(QStringLiteral("servermon"), DesktopId, DesktopId);
        QSignalSpy clicked(&notifications, &DesktopNotifications::clicked);
        QSignalSpy chosen(&notifications, &DesktopNotifications::actionInvoked);
        // Replies come in order: once this notice has its id, the
        // capabilities asked for before it are known.
        notifications.notify(QStringLiteral("5"), QStringLiteral("t"), QStringLiteral("b"));
        QTRY_VERIFY(notifications.lastId(QStringLiteral("5")) != 0);
        notifications.notifyWithActions(
            QStringLiteral("6"), QStringLiteral("t"), QStringLiteral("b"),
            {{QStringLiteral("silence-hour"), QStringLiteral("静默1小时")}});
        QTRY_VERIFY(notifications.lastId(QStringLiteral("6")) != 0);
        QStringList actions{QStringLiteral("default"), QStringLiteral("显示主窗口")};
        if (offered)
            actions << QStringLiteral("silence-hour") << QStringLiteral("静默1小时");
        QCOMPARE(m_server.notices.constLast().actions, actions);
        invokeAction(notifications.lastId(QStringLiteral("6")), QStringLiteral("silence-hour"));
        QTRY_COMPARE(chosen.size(), 1);
        QCOMPARE(chosen.at(0), (QVariantList{QStringLiteral("6"), QStringLiteral("silence-hour")}));
        QCOMPARE(clicked.size(), 0);
    }

    void bodyTextBreaksLinesAndEscapesForMarkup() {
        const QString text = QStringLiteral("IP:a<b>&c\r\n状态:x");
        QCOMPARE(DBusDesktopNotifications::bodyText(text, false),
                 QStringLiteral("IP:a<b>&c\n状态:x"));
        QCOMPARE(DBusDesktopNotifications::bodyText(text, true),
                 QStringLiteral("IP:a&lt;b&gt;&amp;c\n状态:x"));
    }

private:
    void invokeAction(uint id, const QString& action) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        signal << id << action;
        QVERIFY(m_bus.send(signal));
    }

    QDBusConnection m_bus{QString()};
    FakeNotificationServer m_server;
};

QTEST_MAIN(TestDesktopNotifications)
#include "tst_desktopnotifications.moc"
