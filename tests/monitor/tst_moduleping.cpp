#include "monitor/ModulePing.h"

#include <QTest>

using ModulePing::AddressToNumber;
using ModulePing::PingStatusText;

class TestModulePing final : public QObject {
    Q_OBJECT
private slots:
    void statusTexts_data() {
        QTest::addColumn<quint32>("code");
        QTest::addColumn<QString>("text");
        const QList<std::pair<quint32, const char*>> table = {
            {0, "ip success"},
            {200, "ping timeout"},
            {11001, "ip buf too_small"},
            {11002, "ip dest net unreachable"},
            {11003, "ip dest host unreachable"},
            {11004, "ip dest prot unreachable"},
            {11005, "ip dest port unreachable"},
            {11006, "ip no resources"},
            {11007, "ip bad option"},
            {11008, "ip hw_error"},
            {11009, "ip packet too_big"},
            {11010, "ip req timed out"},
            {11011, "ip bad req"},
            {11012, "ip bad route"},
            {11013, "ip ttl expired transit"},
            {11014, "ip ttl expired reassem"},
            {11015, "ip param_problem"},
            {11016, "ip source quench"},
            {11017, "ip option too_big"},
            {11018, "ip bad destination"},
            {11019, "ip addr deleted"},
            {11020, "ip spec mtu change"},
            {11021, "ip mtu_change"},
            {11022, "ip unload"},
            {11023, "ip addr added"},
            {11050, "ip general failure"},
            {11255, "ip pending"},
            {1, "unknown  msg returned"},
            {11000, "unknown  msg returned"},
            {11024, "unknown  msg returned"},
            {12345, "unknown  msg returned"},
            {0xFFFFFFFF, "unknown  msg returned"}};
        for (const auto& [code, text] : table)
            QTest::addRow("%u", code) << code << QString::fromLatin1(text);
    }
    void statusTexts() {
        QFETCH(quint32, code);
        QFETCH(QString, text);
        QCOMPARE(PingStatusText(code), text);
    }

    void addressToNumber_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("converts");
        QTest::addColumn<qint32>("number");
        const auto row = [](const char* address, qint32 number) {
            QTest::newRow(address) << QString::fromLatin1(address) << true << number;
        };
        const auto error = [](const char* address) {
            QTest::newRow(address) << QString::fromLatin1(address) << false << 0;
        };
        row("192.168.1.10", 0x0A01A8C0);
        row("10.0.0.1", 0x0100000A);
        row("127.0.0.1", 0x0100007F);
        row("255.255.255.255", -1);
        row("0.0.0.0", 0);
        row("300.1.1.1", 0x0101012C);
        row("10.0.0.65536", 0x0000000A);
        row("10.0.0.99999999999999999999", static_cast<qint32>(0xFF00000Au));
        row(" 10.0.0.1 ", 0x0100000A);
        row("-1.0.0.1", 0x010000FF);
        row("+10.0.0.1", 0x0100000A);
        row("10.0.0", 0);
        row("server", 0);
        row("", 0);
        row("a.b.c", 0);
        error("1.2.3.4.5");
        error("10.0.0.1.");
        error("a.b.c.d");
        error("10..0.1");
        error("10.0.0.");
        error("10.0.0.1x");
        error("10.0.0.0x1");
        error("10.0.0.-");
        error("10.0 .0 0.1");
    }
    void addressToNumber() {
        QFETCH(QString, address);
        QFETCH(bool, converts);
        QFETCH(qint32, number);
        const std::optional<qint32> result = AddressToNumber(address);
        QCOMPARE(result.has_value(), converts);
        if (converts)
            QCOMPARE(*result, number);
    }
};

QTEST_GUILESS_MAIN(TestModulePing)
#include "tst_moduleping.moc"
