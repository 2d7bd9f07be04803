#include "fleet/RendezvousHash.h"
#include "fleet/ServerShare.h"

#include <QSet>
#include <QTest>

// Which servers an agent holds: by location, and among the live agents of
// its location by rendezvous hash.
class TestServerShare final : public QObject {
    Q_OBJECT
private slots:
    void locations_data() {
        QTest::addColumn<QString>("locations");
        QTest::addColumn<QString>("agentLocation");
        QTest::addColumn<bool>("watched");
        QTest::newRow("no locations, agent anywhere") << ""
                                                      << "beijing" << true;
        QTest::newRow("no locations, agent nowhere") << ""
                                                     << "" << true;
        QTest::newRow("only commas and blanks") << " , ,"
                                                << "" << true;
        QTest::newRow("its location") << "beijing"
                                      << "beijing" << true;
        QTest::newRow("one of several, spaced") << "shanghai , beijing"
                                                << "beijing" << true;
        QTest::newRow("case ignored") << "BeiJing"
                                      << " beijing " << true;
        QTest::newRow("another location") << "shanghai"
                                          << "beijing" << false;
        QTest::newRow("agent without a location") << "beijing"
                                                  << "" << false;
        QTest::newRow("part of a name") << "beijing-2"
                                        << "beijing" << false;
        QTest::newRow("non-ASCII name") << "广州,深圳"
                                        << "深圳" << true;
    }
    void locations() {
        QFETCH(QString, locations);
        QFETCH(QString, agentLocation);
        QFETCH(bool, watched);
        QCOMPARE(ServerShare::watchedFrom(locations, agentLocation), watched);
        ServerShare alone(QStringLiteral("a"), agentLocation);
        QCOMPARE(alone.holds(7, locations), watched);
    }

    // Agents on other machines and other versions must weigh alike: the
    // weights are fixed values.
    void weightsAreFixed() {
        QCOMPARE(RendezvousHash::weight(1, "east-1"), Q_UINT64_C(9613636368693881333));
        QCOMPARE(RendezvousHash::weight(123456789, "机房-北京"), Q_UINT64_C(4702948476980765341));
        QCOMPARE(RendezvousHash::weight(-1, ""), Q_UINT64_C(14703628883582893237));
    }

    // Every server once; each agent a fair part; an agent leaving moves only
    // its own servers, and returning takes back the same ones.
    void sharesSplitAndMoveOnlyWhatTheyMust() {
        const QStringList agents = {QStringLiteral("east-1"), QStringLiteral("east-2"),
                                    QStringLiteral("east-3"), QStringLiteral("east-4")};
        constexpr int Servers = 10000;
        QList<QSet<qint64>> held(agents.size());
        for (qint64 id = 1; id <= Servers; ++id) {
            int holders = 0;
            for (int i = 0; i < agents.size(); ++i) {
                ServerShare share(agents[i], {});
                share.setLiveAgents(agents);
                if (share.holds(id, {})) {
                    held[i].insert(id);
                    ++holders;
                }
            }
            QCOMPARE(holders, 1);
        }
        for (const QSet<qint64>& share : held)
            QVERIFY2(share.size() > Servers / 4 * 0.85 && share.size() < Servers / 4 * 1.15,
                     qPrintable(QString::number(share.size())));

        const QStringList three = agents.mid(0, 3);
        for (int i = 0; i < 3; ++i) {
            ServerShare share(three[i], {});
            share.setLiveAgents(three);
            for (qint64 id = 1; id <= Servers; ++id) {
                if (held[i].contains(id))
                    QVERIFY(share.holds(id, {}));
                else if (share.holds(id, {}))
                    QVERIFY(held[3].contains(id));
            }
        }
    }

    // The agent counts itself live even before the database named it.
    void anAgentAloneHoldsEverything() {
        ServerShare share(QStringLiteral("only"), QStringLiteral("lab"));
        share.setLiveAgents({QStringLiteral("other-location-agent-never-listed")});
        QVERIFY(share.liveAgents().contains(QStringLiteral("only")));
        ServerShare alone(QStringLiteral("only"), QStringLiteral("lab"));
        for (qint64 id = 1; id <= 50; ++id)
            QVERIFY(alone.holds(id, QStringLiteral("lab")));
    }
};

QTEST_GUILESS_MAIN(TestServerShare)
#include "tst_servershare.moc"
