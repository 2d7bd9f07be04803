#include "../catalogue/CatalogueTestSupport.h"
#include "ChannelSink.h"
#include "notify/ChannelCatalogue.h"
#include "notify/ChannelDelivery.h"
#include "notify/ChannelDispatcher.h"
#include "notify/Outbox.h"
#include "platform/SystemClock.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSqlRecord>
#include <QTimer>

#include <algorithm>

// Alerts through the dispatcher, the outbox and the real delivery to the
// loopback sink: retries, giving up, storms, recoveries and latency.
class ChannelDispatchTest final : public QObject {
    Q_OBJECT

    struct Rig {
        TemporaryCatalogue catalogue;
        ChannelSink sink;
        SystemClock clock;
        ChannelDelivery delivery{clock};
        ChannelDispatcher dispatcher{delivery, clock};

        qint64 addWebhook(const QString& name, const QString& path, bool sendRecovery = true,
                          int stormLimit = 0) {
            Channel channel;
            channel.kind = ChannelKind::Webhook;
            channel.name = name;
            channel.sendRecovery = sendRecovery;
            channel.stormLimit = stormLimit;
            channel.settings = QJsonObject{{QStringLiteral("url"), sink.url(path)},
                                           {QStringLiteral("method"), QStringLiteral("POST")}};
            qint64 id = 0;
            ChannelCatalogue::AddChannel(channel, &id);
            return id;
        }
        // The bodies the sink read at path, in order.
        QList<QJsonObject> bodiesAt(const QString& path) {
            QList<QJsonObject> bodies;
            for (const QJsonValue request : sink.requests())
                if (request[QStringLiteral("path")].toString() == path)
                    bodies << QJsonDocument::fromJson(
                                  request[QStringLiteral("body")].toString().toUtf8())
                                  .object();
            return bodies;
        }
        QStringList outboxStates() {
            QStringList states;
            for (const QSqlRecord& row :
                 ModuleDB::DbSelect(QStringLiteral("select State from Outbox order by ID")))
                states << row.value(0).toString();
            return states;
        }
    };

    static AlertEvent alert(const QString& server,
                            AlertEvent::Kind kind = AlertEvent::Kind::Alert) {
        AlertEvent event;
        event.kind = kind;
        event.server = server;
        event.serverName = QStringLiteral("web ") + server;
        event.address = QStringLiteral("127.0.0.1");
        event.port = QStringLiteral("80");
        event.status = QStringLiteral("超时");
        event.title = kind == AlertEvent::Kind::Alert ? QStringLiteral("注意:服务器测试返回异常")
                                                      : QStringLiteral("注意:服务器已恢复");
        // A recovery's text names the server already, an alert's does not.
        event.message = kind == AlertEvent::Kind::Alert
                            ? QStringLiteral("IP:127.0.0.1")
                            : QStringLiteral("服务器:web %1\r\nIP:127.0.0.1").arg(server);
        event.durationMs = kind == AlertEvent::Kind::Recovery ? 125000 : -1;
        return event;
    }

private slots:
    void nothingConfiguredDoesNothing() {
        Rig rig;
        QVERIFY(rig.sink.port() != 0);
        rig.dispatcher.reload();
        QVERIFY(!rig.dispatcher.hasChannels());
        rig.dispatcher.alertRaised(alert(QStringLiteral("1")));
        QCOMPARE(Outbox::queuedCount(), 0LL);
        QVERIFY(rig.outboxStates().isEmpty());
    }

    // An alert and a recovery reach each enabled channel that wants them,
    // with the event's fields and a text that names the server once; a
    // disabled channel gets nothing.
    void alertsAndRecoveriesWhereWanted() {
        Rig rig;
        rig.addWebhook(QStringLiteral("all"), QStringLiteral("/ok/all"));
        rig.addWebhook(QStringLiteral("alerts only"), QStringLiteral("/ok/alerts"), false);
        Channel disabled;
        disabled.name = QStringLiteral("off");
        disabled.enabled = false;
        disabled.settings = QJsonObject{{QStringLiteral("url"), rig.sink.url("/ok/off")}};
        ChannelCatalogue::AddChannel(disabled);
        rig.dispatcher.reload();
        rig.dispatcher.alertRaised(alert(QStringLiteral("3")));
        rig.dispatcher.alertRaised(alert(QStringLiteral("3"), AlertEvent::Kind::Recovery));
        QTRY_COMPARE(rig.bodiesAt(QStringLiteral("/ok/all")).size(), 2);
        QTRY_COMPARE(rig.bodiesAt(QStringLiteral("/ok/alerts")).size(), 1);
        QTRY_COMPARE(Outbox::queuedCount(), 0LL);
        const QList<QJsonObject> all = rig.bodiesAt(QStringLiteral("/ok/all"));
        QCOMPARE(all.at(0)[QStringLiteral("state")].toString(), QStringLiteral("alert"));
        QCOMPARE(all.at(0)[QStringLiteral("server")].toString(), QStringLiteral("web 3"));
        QCOMPARE(all.at(0)[QStringLiteral("title")].toString(),
                 QStringLiteral("注意:服务器测试返回异常"));
        QVERIFY(!all.at(0)[QStringLiteral("time")].toString().isEmpty());
        QCOMPARE(all.at(0)[QStringLiteral("message")].toString(),
                 QStringLiteral("web 3\r\nIP:127.0.0.1"));
        QCOMPARE(all.at(1)[QStringLiteral("state")].toString(), QStringLiteral("recovery"));
        QCOMPARE(all.at(1)[QStringLiteral("message")].toString(),
                 QStringLiteral("服务器:web 3\r\nIP:127.0.0.1"));
        QCOMPARE(all.at(1)[QStringLiteral("duration")].toString(), QStringLiteral("2分5秒"));
        QVERIFY(all.at(0)[QStringLiteral("dedup_key")].toString() !=
                all.at(1)[QStringLiteral("dedup_key")].toString());
        QVERIFY(rig.bodiesAt(QStringLiteral("/ok/off")).isEmpty());
        QCOMPARE(rig.dispatcher.counts().value(QStringLiteral("all")).sent, 2);
        QCOMPARE(rig.dispatcher.counts().value(QStringLiteral("off")).sent, 0);
    }

    // Refused twice, accepted the third time: delivered exactly once more,
    // under one key.
    void retriedUntilAcceptedOnce() {
        Rig rig;
        rig.dispatcher.setRetrySchedule(RetrySchedule(60'000, 1000));
        rig.addWebhook(QStringLiteral("flaky"), QStringLiteral("/fails-2/flaky"));
        rig.dispatcher.reload();
        rig.dispatcher.alertRaised(alert(QStringLiteral("1")));
        QTRY_COMPARE(rig.outboxStates(), QStringList{QStringLiteral("sent")});
        QTest::qWait(300);
        const QList<QJsonObject> bodies = rig.bodiesAt(QStringLiteral("/fails-2/flaky"));
        QCOMPARE(bodies.size(), 3);
        QCOMPARE(bodies.first()[QStringLiteral("dedup_key")],
                 bodies.last()[QStringLiteral("dedup_key")]);
        const ChannelDispatcher::Counts counts =
            rig.dispatcher.counts().value(QStringLiteral("flaky"));
        QCOMPARE(counts.sent, 1);
        QCOMPARE(counts.retried, 2);
        QCOMPARE(counts.failed, 0);
    }

    // A peer that never answers: the message is given up after the
    // (shortened) hour, one warning names the channel, and the event loop
    // kept turning all along.
    void silentPeerGivenUpWithoutFreezing() {
        Rig rig;
        rig.delivery.setTimeLimitMs(200);
        rig.dispatcher.setRetrySchedule(RetrySchedule(1500, 100));
        rig.addWebhook(QStringLiteral("silent"), QStringLiteral("/silent/hook"));
        rig.dispatcher.reload();
        QSignalSpy failed(&rig.dispatcher, &ChannelDispatcher::channelFailed);
        QElapsedTimer longest;
        qint64 worstGapMs = 0;
        QTimer ticker;
        ticker.setInterval(10);
        longest.start();
        connect(&ticker, &QTimer::timeout,
                [&] { worstGapMs = qMax(worstGapMs, longest.restart()); });
        ticker.start();
        rig.dispatcher.alertRaised(alert(QStringLiteral("1")));
        QVERIFY(failed.wait(10000));
        QCOMPARE(failed.first().at(0).toString(), QStringLiteral("silent"));
        QVERIFY(!failed.first().at(1).toString().isEmpty());
        QCOMPARE(rig.outboxStates(), QStringList{QStringLiteral("failed")});
        QCOMPARE(rig.dispatcher.failingChannels(), QStringList{QStringLiteral("silent")});
        QCOMPARE(rig.dispatcher.counts().value(QStringLiteral("silent")).failed, 1);
        QVERIFY2(worstGapMs < 500, qPrintable(QString::number(worstGapMs)));
    }

    // 50 alerts within a second through a channel limited to 10 a minute:
    // 10 messages and, when the minute ends, one digest listing the other 40.
    void stormBecomesOneDigest() {
        Rig rig;
        rig.dispatcher.setStormControl(StormControl(1500));
        rig.addWebhook(QStringLiteral("storm"), QStringLiteral("/ok/storm"), true, 10);
        rig.dispatcher.reload();
        for (int i = 0; i < 50; ++i)
            rig.dispatcher.alertRaised(alert(QString::number(i + 1)));
        QTRY_COMPARE(rig.bodiesAt(QStringLiteral("/ok/storm")).size(), 11);
        QTest::qWait(300);
        const QList<QJsonObject> bodies = rig.bodiesAt(QStringLiteral("/ok/storm"));
        QCOMPARE(bodies.size(), 11);
        const QString digest = bodies.last()[QStringLiteral("message")].toString();
        QVERIFY2(digest.startsWith(QStringLiteral("另有40条告警:")), qPrintable(digest));
        QCOMPARE(digest.count(QStringLiteral("注意:服务器测试返回异常")), 40);
        QVERIFY(digest.contains(QStringLiteral("web 50")));
        QCOMPARE(Outbox::queuedCount(), 0LL);
    }

    // From the alert to the sink: 20 alerts half a second apart.
    void latencyFromAlertToSink() {
        Rig rig;
        rig.addWebhook(QStringLiteral("fast"), QStringLiteral("/ok/fast"));
        rig.dispatcher.reload();
        QList<qint64> latencies;
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer elapsed;
            elapsed.start();
            rig.dispatcher.alertRaised(alert(QString::number(i + 1)));
            while (Outbox::queuedCount() > 0 && elapsed.elapsed() < 5000)
                QTest::qWait(2);
            latencies << elapsed.elapsed();
            QTest::qWait(500);
        }
        QCOMPARE(rig.bodiesAt(QStringLiteral("/ok/fast")).size(), 20);
        std::sort(latencies.begin(), latencies.end());
        const qint64 median = latencies.at(latencies.size() / 2);
        qInfo("channel latency ms: median %lld, worst %lld", median, latencies.last());
        QVERIFY(median < 200);
        QVERIFY(latencies.last() < 1000);
    }
};

QTEST_GUILESS_MAIN(ChannelDispatchTest)
#include "tst_channeldispatch.moc"
