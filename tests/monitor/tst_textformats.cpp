#include "monitor/ClockStamp.h"
#include "monitor/GbkText.h"
#include "monitor/LocaleTimeText.h"
#include "monitor/TextNumbers.h"

#include <QTest>

class TestTextFormats final : public QObject {
    Q_OBJECT
private slots:
    void clockStamp_data() {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("no leading zeros") << QTime(9, 5, 7, 45) << "9:5:7.45";
        QTest::newRow("evening") << QTime(18, 30, 0, 120) << "18:30:0.120";
        QTest::newRow("just after midnight") << QTime(0, 0, 0, 5) << "0:0:0.5";
        QTest::newRow("last ms") << QTime(23, 59, 59, 999) << "23:59:59.999";
    }
    void clockStamp() {
        QFETCH(QTime, time);
        QFETCH(QString, stamp);
        QCOMPARE(ClockStamp(time), stamp);
    }

    void timeDiff_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<qint64>("ms");
        QTest::newRow("within a second") << "9:5:7.45"
                                         << "9:5:8.20" << qint64(975);
        QTest::newRow("across the hour") << "10:59:59.900"
                                         << "11:0:0.100" << qint64(200);
        QTest::newRow("across midnight") << "23:59:59.900"
                                         << "0:0:0.100" << qint64(200);
        QTest::newRow("no milliseconds") << "1:0:0"
                                         << "1:0:1" << qint64(1000);
        QTest::newRow("garbage reads as zero") << "x"
                                               << "0:0:1.0" << qint64(1000);
        QTest::newRow("huge stamps stay within a day") << "99999999999:0:0.0"
                                                       << "0:0:0.0" << qint64(3600000);
        QTest::newRow("exponent is not read") << "1e400:0:0"
                                              << "0:0:0" << qint64(82800000);
    }
    void timeDiff() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(qint64, ms);
        const qint64 elapsed = TimeDiff(start, end);
        if (QByteArray(QTest::currentDataTag()) == "huge stamps stay within a day") {
            QVERIFY(elapsed >= 0 && elapsed < 86400000);
            return;
        }
        QCOMPARE(elapsed, ms);
    }

    // The locale's own time format, with nothing but the time: no time-zone
    // field nor the brackets around it, and no letters Qt does not format.
    void localeTimeText_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("text");
        const QTime evening(21, 5, 7);
        QTest::newRow("zh_CN: zone in front") << "zh_CN" << evening << "21:05:07";
        QTest::newRow("C: zone behind") << "C" << evening << "21:05:07";
        QTest::newRow("zh_TW: day period B and bracketed zone")
            << "zh_TW" << evening << "下午9:05:07";
        QTest::newRow("zh_TW morning") << "zh_TW" << QTime(9, 5, 7) << "上午9:05:07";
        QTest::newRow("zh_HK: bracketed zone") << "zh_HK" << evening << "下午9:05:07";
        QTest::newRow("en_US: AM/PM") << "en_US" << evening << "9:05:07 PM";
        QTest::newRow("fa_IR: zone in parentheses") << "fa_IR" << evening << "۲۱:۰۵:۰۷";
        QTest::newRow("bg_BG: quoted text stays") << "bg_BG" << evening << "21:05:07 ч.";
        QTest::newRow("midnight") << "zh_CN" << QTime(0, 0, 0) << "00:00:00";
    }
    void localeTimeText() {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QString, text);
        QCOMPARE(LocaleTimeText(time, QLocale(locale)), text);
    }

    void leadingNumbers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "12" << 12.0;
        QTest::newRow("trailing text") << "15ms" << 15.0;
        QTest::newRow("leading blank") << "  7" << 7.0;
        QTest::newRow("negative") << "-3x" << -3.0;
        QTest::newRow("fraction") << "2.5" << 2.5;
        QTest::newRow("none") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("sign only") << "-" << 0.0;
    }
    void leadingNumbers() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(leadingNumber(text), value);
    }

    void millisecondsTexts_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<bool>("spaced");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << false << "0ms";
        QTest::newRow("spaced") << qint64(12) << true << "12 ms";
        QTest::newRow("last shared") << qint64(999) << false << "999ms";
        QTest::newRow("a second") << qint64(1000) << true << "1000 ms";
        QTest::newRow("negative") << qint64(-1) << false << "-1ms";
    }
    // The small times are one shared text each.
    void millisecondsTexts() {
        QFETCH(qint64, ms);
        QFETCH(bool, spaced);
        QFETCH(QString, text);
        const QString first = millisecondsText(ms, spaced);
        QCOMPARE(first, text);
        QCOMPARE(millisecondsText(ms, spaced).constData() == first.constData(),
                 ms >= 0 && ms < 1000);
    }

    void leadingIntegerIs32Bit() {
        QCOMPARE(leadingInteger(QStringLiteral("32768")), 32768);
        QCOMPARE(leadingInteger(QStringLiteral("99999999999")), std::numeric_limits<qint32>::max());
        QCOMPARE(leadingInteger(QStringLiteral("3.9")), 3);
    }

    void gbkDecode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("HTTP/1.1 200 OK") << "HTTP/1.1 200 OK";
        QTest::newRow("chinese") << QByteArray("\xC4\xE3\xBA\xC3") << "你好";
        QTest::newRow("nul kept") << QByteArray("a\0b", 3) << QString::fromUtf16(u"a\u0000b", 3);
        QTest::newRow("cut lead byte") << QByteArray("ok\xC4") << "ok\uFFFD";
        QTest::newRow("stray byte") << QByteArray("\xFF"
                                                  "a")
                                    << "\uFFFDa";
    }
    void gbkDecode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(GbkText::decode(bytes), text);
    }

    // The longest start within a byte limit that cuts no character in two,
    // read as decode reads the bytes.
    void gbkWholeCharacters_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("length");
        const QByteArray hello("\xC4\xE3\xBA\xC3"); // 你好
        QTest::newRow("ascii cut") << QByteArray("abcdef") << 4 << 4;
        QTest::newRow("shorter than the limit") << QByteArray("ab") << 4 << 2;
        QTest::newRow("pair not split") << "a" + hello << 4 << 3;
        QTest::newRow("pair ends at the limit") << "a" + hello << 5 << 5;
        QTest::newRow("stray byte is one") << QByteArray("\xFF\xFF") << 1 << 1;
        QTest::newRow("lead byte pairs with a letter") << QByteArray("\xC4"
                                                                     "a")
                                                       << 1 << 0;
        QTest::newRow("cut lead byte at the end") << QByteArray("ok\xC4") << 3 << 3;
    }
    void gbkWholeCharacters() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, limit);
        QFETCH(int, length);
        QCOMPARE(GbkText::wholeCharacters(bytes, limit), length);
        const QString start = GbkText::decode(bytes.left(length));
        QVERIFY(GbkText::decode(bytes).startsWith(start));
    }

    void gbkRoundTrip() {
        const QString text = QStringLiteral("服务器监控 OK");
        QCOMPARE(GbkText::encode(text).size(), 13);
        QCOMPARE(GbkText::decode(GbkText::encode(text)), text);
    }
};

QTEST_GUILESS_MAIN(TestTextFormats)
#include "tst_textformats.moc"
