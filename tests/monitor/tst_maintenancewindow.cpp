#include "monitor/MaintenancePlan.h"
#include "monitor/MaintenanceWindow.h"

#include <QDateTime>
#include <QTest>

namespace {

qint64 utc(const QString& text) {
    return QDateTime::fromString(text, Qt::ISODate).toMSecsSinceEpoch();
}

// Every day of the week.
constexpr int kDaily = 0x7f;

MaintenanceWindow weekly(const char* zone, QTime start, int minutes, int days = kDaily) {
    MaintenanceWindow window;
    window.kind = MaintenanceWindow::Kind::Weekly;
    window.timeZone = zone;
    window.startTime = start;
    window.minutes = minutes;
    window.days = days;
    return window;
}

using Span = std::pair<qint64, qint64>;

} // namespace

Q_DECLARE_METATYPE(MaintenanceWindow)

class TestMaintenanceWindow final : public QObject {
    Q_OBJECT
private slots:
    void zonesAreInstalled() {
        for (const char* zone : {"Europe/Berlin", "America/New_York", "Asia/Shanghai"})
            QVERIFY2(QTimeZone::isTimeZoneIdAvailable(zone), zone);
    }

    // The occurrence open at an instant, or none ("" for both ends).
    void weeklyOccurrence_data() {
        QTest::addColumn<MaintenanceWindow>("window");
        QTest::addColumn<QString>("at");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        const MaintenanceWindow berlin = weekly("Europe/Berlin", QTime(2, 0), 60);
        const MaintenanceWindow newYork2 = weekly("America/New_York", QTime(2, 0), 60);
        const MaintenanceWindow newYork1 = weekly("America/New_York", QTime(1, 0), 60);
        // The start hour is skipped: the window begins when the clocks jump.
        QTest::newRow("Berlin spring, inside") << berlin << "2026-03-29T01:30:00Z"
                                               << "2026-03-29T01:00:00Z"
                                               << "2026-03-29T02:00:00Z";
        QTest::newRow("Berlin spring, before") << berlin << "2026-03-29T00:59:59Z"
                                               << ""
                                               << "";
        QTest::newRow("Berlin spring, at the end") << berlin << "2026-03-29T02:00:00Z"
                                                   << ""
                                                   << "";
        // The start hour repeats: one run, from its first occurrence.
        QTest::newRow("Berlin autumn, first hour") << berlin << "2026-10-25T00:00:00Z"
                                                   << "2026-10-25T00:00:00Z"
                                                   << "2026-10-25T01:00:00Z";
        QTest::newRow("Berlin autumn, repeated hour") << berlin << "2026-10-25T01:30:00Z"
                                                      << ""
                                                      << "";
        QTest::newRow("Berlin ordinary day") << berlin << "2026-06-01T00:30:00Z"
                                             << "2026-06-01T00:00:00Z"
                                             << "2026-06-01T01:00:00Z";
        QTest::newRow("New York spring") << newYork2 << "2026-03-08T07:59:00Z"
                                         << "2026-03-08T07:00:00Z"
                                         << "2026-03-08T08:00:00Z";
        QTest::newRow("New York spring, before") << newYork2 << "2026-03-08T06:59:00Z"
                                                 << ""
                                                 << "";
        QTest::newRow("New York autumn, first") << newYork1 << "2026-11-01T05:00:00Z"
                                                << "2026-11-01T05:00:00Z"
                                                << "2026-11-01T06:00:00Z";
        QTest::newRow("New York autumn, repeated hour") << newYork1 << "2026-11-01T06:30:00Z"
                                                        << ""
                                                        << "";
        // Crossing midnight, on Fridays only (2026-01-02 is a Friday).
        const MaintenanceWindow night = weekly("Asia/Shanghai", QTime(23, 0), 120, 1 << 4);
        QTest::newRow("midnight, after it") << night << "2026-01-02T16:30:00Z"
                                            << "2026-01-02T15:00:00Z"
                                            << "2026-01-02T17:00:00Z";
        QTest::newRow("midnight, another day") << night << "2026-01-03T16:30:00Z"
                                               << ""
                                               << "";
        QTest::newRow("no days") << weekly("UTC", QTime(0, 0), 60, 0) << "2026-01-02T00:10:00Z"
                                 << ""
                                 << "";
    }
    void weeklyOccurrence() {
        QFETCH(MaintenanceWindow, window);
        QFETCH(QString, at);
        QFETCH(QString, start);
        QFETCH(QString, end);
        const std::optional<Span> open = window.openAt(utc(at));
        if (start.isEmpty()) {
            QVERIFY(!open);
            return;
        }
        QVERIFY(open);
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(open->first, QTimeZone::utc()),
                 QDateTime::fromMSecsSinceEpoch(utc(start), QTimeZone::utc()));
        QCOMPARE(open->second, utc(end));
    }

    void onceWindowIsHalfOpen() {
        MaintenanceWindow window;
        window.startUtcMs = utc("2026-05-01T10:00:00Z");
        window.endUtcMs = utc("2026-05-01T12:00:00Z");
        QVERIFY(!window.openAt(window.startUtcMs - 1));
        QCOMPARE(window.openAt(window.startUtcMs), Span(window.startUtcMs, window.endUtcMs));
        QVERIFY(window.openAt(window.endUtcMs - 1));
        QVERIFY(!window.openAt(window.endUtcMs));
    }

    // The plan answers which servers are in maintenance and when to ask
    // again: when the earliest open window closes, at the latest a minute on.
    void planOpensAndCloses() {
        MaintenanceWindow once;
        once.servers = {7, 9};
        once.startUtcMs = utc("2026-05-01T10:00:00Z");
        once.endUtcMs = utc("2026-05-01T12:00:00Z");
        MaintenanceWindow everyone = weekly("UTC", QTime(11, 0), 30);
        MaintenancePlan plan;
        plan.setWindows({once, everyone});

        MaintenancePlan::Open open = plan.openAt(utc("2026-05-01T10:30:00Z"));
        QVERIFY(!open.all);
        QVERIFY(open.covers(7) && open.covers(9) && !open.covers(8));
        QCOMPARE(open.nextChangeUtcMs, utc("2026-05-01T10:31:00Z")); // asked again a minute on

        open = plan.openAt(utc("2026-05-01T11:59:30Z"));
        QCOMPARE(open.nextChangeUtcMs, once.endUtcMs); // the end comes first

        open = plan.openAt(utc("2026-05-01T11:10:00Z"));
        QVERIFY(open.all && open.covers(8));
        QCOMPARE(plan.openAt(utc("2026-05-01T11:29:40Z")).nextChangeUtcMs,
                 utc("2026-05-01T11:30:00Z"));

        open = plan.openAt(utc("2026-05-01T12:00:00Z"));
        QVERIFY(!open.all && !open.covers(7));
        QVERIFY(open.nextChangeUtcMs > utc("2026-05-01T12:00:00Z"));
    }
};

QTEST_GUILESS_MAIN(TestMaintenanceWindow)
#include "tst_maintenancewindow.moc"
