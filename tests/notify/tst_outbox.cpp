#include "../catalogue/CatalogueTestSupport.h"
#include "notify/ChannelCatalogue.h"
#include "notify/Outbox.h"
#include "notify/RetrySchedule.h"
#include "notify/StormControl.h"

#include <QSqlRecord>

// The outbox's bookkeeping on a real catalogue, the retry schedule and the
// storm limit.
class OutboxTest final : public QObject {
    Q_OBJECT

    static ChannelMessage message(const QString& title, const QString& key) {
        ChannelMessage m;
        m.title = title;
        m.message = title + QStringLiteral(" text");
        m.event.kind = AlertEvent::Kind::Recovery;
        m.event.server = QStringLiteral("7");
        m.event.serverName = QStringLiteral("网关 \"a\"");
        m.event.address = QStringLiteral("127.0.0.1");
        m.event.port = QStringLiteral("80");
        m.event.timeUtcMs = 1234;
        m.event.durationMs = 65000;
        m.dedupKey = key;
        return m;
    }

private slots:
    void retrySchedule_data() {
        QTest::addColumn<int>("attempts");
        QTest::addColumn<qint64>("ageMs");
        QTest::addColumn<qint64>("waitMs"); // -1: given up
        QTest::newRow("first failure") << 1 << 0LL << 5000LL;
        QTest::newRow("second") << 2 << 5000LL << 30000LL;
        QTest::newRow("third") << 3 << 35000LL << 120000LL;
        QTest::newRow("fourth") << 4 << 155000LL << 600000LL;
        QTest::newRow("then every ten minutes") << 9 << 1800000LL << 600000LL;
        QTest::newRow("last one inside the hour") << 9 << 3000000LL << 600000LL;
        QTest::newRow("past the hour") << 10 << 3000001LL << -1LL;
    }
    void retrySchedule() {
        QFETCH(int, attempts);
        QFETCH(qint64, ageMs);
        QFETCH(qint64, waitMs);
        const qint64 created = 1'000'000;
        const auto next = RetrySchedule().nextAttempt(attempts, created, created + ageMs);
        QCOMPARE(next.has_value(), waitMs >= 0);
        if (next)
            QCOMPARE(*next - (created + ageMs), waitMs);
    }

    void stormLimitPerChannelAndMinute() {
        StormControl storm;
        int admitted = 0;
        for (int i = 0; i < 50; ++i)
            admitted += storm.admit(1, 10, 1000 + i * 20) ? 1 : 0;
        QCOMPARE(admitted, 10);
        QVERIFY(storm.admit(2, 10, 1500)); // another channel counts apart
        QCOMPARE(storm.minuteEnds(1, 2000).value_or(0), 61000LL);
        QVERIFY(!storm.minuteEnds(1, 61000));
        QVERIFY(storm.admit(1, 10, 61000)); // a new minute
        for (int i = 0; i < 100; ++i)
            QVERIFY(storm.admit(3, 0, 1000 + i)); // no limit
    }

    void queuedOnceHeldDigestedAndPruned() {
        TemporaryCatalogue catalogue;
        Channel channel;
        channel.name = QStringLiteral("hook");
        channel.settings =
            QJsonObject{{QStringLiteral("url"), QStringLiteral("http://127.0.0.1:9/")}};
        qint64 channelId = 0;
        QCOMPARE(ChannelCatalogue::AddChannel(channel, &channelId), QString());
        QVERIFY(channelId > 0);

        QCOMPARE(Outbox::enqueue(channelId, message(QStringLiteral("late"), QStringLiteral("k2")),
                                 2000, Outbox::State::Pending),
                 QString());
        QCOMPARE(Outbox::enqueue(channelId, message(QStringLiteral("early"), QStringLiteral("k1")),
                                 1000, Outbox::State::Pending),
                 QString());
        // A resend under the same key is no second message.
        QCOMPARE(Outbox::enqueue(channelId, message(QStringLiteral("again"), QStringLiteral("k1")),
                                 3000, Outbox::State::Pending),
                 QString());
        QList<Outbox::Entry> pending = Outbox::pending(10);
        QCOMPARE(pending.size(), 2);
        QCOMPARE(pending.first().message.title, QStringLiteral("early"));
        const ChannelMessage stored = pending.last().message;
        const ChannelMessage original = message(QStringLiteral("late"), QStringLiteral("k2"));
        QCOMPARE(stored.event.serverName, original.event.serverName);
        QCOMPARE(stored.event.kind, AlertEvent::Kind::Recovery);
        QCOMPARE(stored.event.durationMs, 65000LL);
        QCOMPARE(stored.event.timeUtcMs, 1234LL);

        QCOMPARE(Outbox::markRetry(pending.first().id, 1, 9000), QString());
        pending = Outbox::pending(10);
        QCOMPARE(pending.first().message.title, QStringLiteral("late"));
        QCOMPARE(pending.last().attempts, 1);
        QCOMPARE(Outbox::markSent(pending.first().id, 1, 5000), QString());
        QCOMPARE(Outbox::markFailed(pending.last().id, 7), QString());
        QCOMPARE(Outbox::queuedCount(), 0LL);

        for (int i = 0; i < 3; ++i)
            Outbox::enqueue(channelId,
                            message(QStringLiteral("held"), QStringLiteral("h%1").arg(i)), 4000 + i,
                            Outbox::State::Held);
        QCOMPARE(Outbox::channelsHolding(), QList<qint64>{channelId});
        QCOMPARE(Outbox::queuedCount(), 3LL);
        QList<qint64> ids;
        for (const Outbox::Entry& entry : Outbox::held(channelId))
            ids << entry.id;
        QCOMPARE(Outbox::digest(ids, channelId,
                                message(QStringLiteral("digest"), QStringLiteral("d")), 5000),
                 QString());
        QVERIFY(Outbox::channelsHolding().isEmpty());
        QCOMPARE(Outbox::pending(10).size(), 1);
        QCOMPARE(Outbox::pending(10).first().message.title, QStringLiteral("digest"));

        QCOMPARE(Outbox::prune(4001), QString());
        const QList<QSqlRecord> left =
            ModuleDB::DbSelect(QStringLiteral("select State from Outbox order by ID"));
        QStringList states;
        for (const QSqlRecord& row : left)
            states << row.value(0).toString();
        QCOMPARE(states, (QStringList{QStringLiteral("digested"), QStringLiteral("digested"),
                                      QStringLiteral("pending")}));

        // Deleting the channel takes its waiting messages with it.
        QCOMPARE(ChannelCatalogue::DeleteChannel(channelId), QString());
        QCOMPARE(Outbox::queuedCount(), 0LL);
        QVERIFY(ChannelCatalogue::SelectChannels().isEmpty());
    }
};

QTEST_GUILESS_MAIN(OutboxTest)
#include "tst_outbox.moc"
