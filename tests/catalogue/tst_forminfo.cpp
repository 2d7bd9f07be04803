#include "CatalogueTestSupport.h"
#include "FakeEcho.h"
#include "catalogue/HexDump.h"
#include "catalogue/ui/FormInfo.h"
#include "catalogue/ui/MultiLineText.h"
#include "monitor/ModulePing.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <functional>

namespace {
// Runs a step while the echo waits, then answers like FakeEcho; records
// whether each echo started from an empty reply record.
class WaitingEcho final : public EchoService {
public:
    long PingHost(const QString& address, EchoReply& reply) override {
        freshRecords.append(reply.data.isEmpty() && reply.status == 0 && reply.ttl == 0);
        if (duringWait)
            std::exchange(duringWait, {})();
        return fake.PingHost(address, reply);
    }
    std::function<void()> duringWait;
    QList<bool> freshRecords;
    FakeEcho fake;
};

template <typename Widget> Widget* field(QWidget& form, const char* name) {
    auto* widget = form.findChild<Widget*>(QLatin1String(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

QString replyText(QWidget& form) {
    return MultiLineText::text(*field<QPlainTextEdit>(form, "TextReplyData"));
}

void startSocketTest(FormInfo& form, const QString& request, const QString& port) {
    field<QLineEdit>(form, "TextIPAddress")->setText(QStringLiteral("127.0.0.1"));
    field<QLineEdit>(form, "TextPort")->setText(port);
    MultiLineText::setText(*field<QPlainTextEdit>(form, "TextPostData"), request);
    QTest::mouseClick(field<QPushButton>(form, "Cmd_Send"), Qt::LeftButton);
}
} // namespace

class TestFormInfo final : public QObject {
    Q_OBJECT
private slots:
    void hexDump_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("dump");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("two bytes")
            << QByteArray("HI")
            << QStringLiteral("00000000  48 49") + QString(45, u' ') + QStringLiteral("HI");
        QTest::newRow("second line")
            << QByteArray("0123456789abcdef\x00\xff", 18)
            << QStringLiteral("00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  "
                              "0123456789abcdef\n00000010  00 FF") +
                   QString(45, u' ') + QStringLiteral("..");
    }
    void hexDump() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, dump);
        QCOMPARE(HexDump::format(bytes), dump);
    }

    void hugeRepliesAreCut() {
        const QStringList lines =
            HexDump::format(QByteArray(HexDump::MaxBytes + 1, 'x')).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), HexDump::MaxBytes / 16 + 1);
        QCOMPARE(lines.last(), QStringLiteral("…"));
    }

    void showsTheRowAndTheIdleSocket() {
        FakeEcho echo;
        FormInfo form(echo);
        form.setServer({3,
                        QStringLiteral("web"),
                        QStringLiteral("127.0.0.1"),
                        QStringLiteral("8080"),
                        QStringLiteral("GET /\r\n"),
                        QStringLiteral("last reply\r\n"),
                        {},
                        true});
        form.show();
        QCOMPARE(field<QLineEdit>(form, "TextPort")->text(), QStringLiteral("8080"));
        QCOMPARE(replyText(form), QStringLiteral("last reply\r\n"));
        QVERIFY(field<QPlainTextEdit>(form, "TextReplyHex")->toPlainText().isEmpty());
        QTRY_COMPARE(field<QLabel>(form, "lb_WskState")->text(),
                     QStringLiteral("SOCKET[IP::0] 状态:关闭"));
    }

    void socketTest_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("portSuffix");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("hex codes") << QStringLiteral("HEX:48:49") << QString() << QByteArray("HI");
        QTest::newRow("asc codes") << QStringLiteral("ASC:72:73") << QString() << QByteArray("HI");
        QTest::newRow("plain, port 81x style")
            << QStringLiteral("hello\r\n") << QStringLiteral("x") << QByteArray("hello\r\n");
    }
    void socketTest() {
        QFETCH(QString, request);
        QFETCH(QString, portSuffix);
        QFETCH(QByteArray, sent);
        LoopbackServer server(QByteArray("OK\x00\xff", 4));
        FakeEcho echo;
        FormInfo form(echo);
        form.show();
        startSocketTest(form, request, QString::number(server.port()) + portSuffix);
        auto* hex = field<QPlainTextEdit>(form, "TextReplyHex");
        QTRY_VERIFY(!hex->toPlainText().isEmpty());
        QVERIFY(hex->toPlainText().startsWith(QStringLiteral("00000000  4F 4B 00 FF")));
        QVERIFY(replyText(form).startsWith(QStringLiteral("OK")));
        QCOMPARE(server.received, sent);
        QTRY_COMPARE(field<QLabel>(form, "lb_WskState")->text(),
                     QStringLiteral("SOCKET[IP:127.0.0.1:%1] 状态:关闭").arg(server.port()));

        // A new test clears the byte view until its own reply arrives.
        LoopbackServer silent;
        startSocketTest(form, request, QString::number(silent.port()));
        QVERIFY(hex->toPlainText().isEmpty());
        QVERIFY(replyText(form).isEmpty());
    }

    void socketTestFailures_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("refused") << QString::number(LoopbackServer::closedPort())
                                 << QStringLiteral("SOCKET错误：");
        QTest::newRow("no digits is port 0")
            << QStringLiteral("abc") << QStringLiteral("SOCKET错误：");
        QTest::newRow("port out of range")
            << QStringLiteral("70000") << QStringLiteral("测试错误：");
    }
    void socketTestFailures() {
        QFETCH(QString, port);
        QFETCH(QString, prefix);
        FakeEcho echo;
        FormInfo form(echo);
        form.show();
        startSocketTest(form, QStringLiteral("x"), port);
        QTRY_VERIFY(replyText(form).startsWith(prefix));
        QVERIFY(field<QPlainTextEdit>(form, "TextReplyHex")->toPlainText().isEmpty());
    }

    void pingReport_data() {
        QTest::addColumn<quint32>("status");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("answered") << 0u
                                  << QStringList{QStringLiteral("Status:") +
                                                     ModulePing::PingStatusText(0),
                                                 "IP:127.0.0.1",
                                                 "Time:3 ms",
                                                 "TTL:64",
                                                 "Size:10 bytes",
                                                 "Sended Data:My Request"};
        QTest::newRow("lost") << 11010u
                              << QStringList{QStringLiteral("Status:") +
                                                 ModulePing::PingStatusText(11010),
                                             "IP:127.0.0.1", "Time:3 ms", "TTL:0", "Size:0 bytes"};
    }
    void pingReport() {
        QFETCH(quint32, status);
        QFETCH(QStringList, lines);
        WaitingEcho echo;
        echo.fake.script.enqueue({status, 3});
        echo.fake.script.enqueue({status, 3});
        FormInfo form(echo);
        form.show();
        field<QLineEdit>(form, "TextIPAddress")->setText(QStringLiteral("127.0.0.1"));
        for (int press = 0; press < 2; ++press) {
            QTest::mouseClick(field<QPushButton>(form, "Cmd_Ping"), Qt::LeftButton);
            QCOMPARE(replyText(form), lines.join(QStringLiteral("\r\n")));
        }
        QCOMPARE(echo.freshRecords, QList<bool>({true, true}));
    }

    void secondPingPressWhileWaitingIsIgnored() {
        WaitingEcho echo;
        FormInfo form(echo);
        form.show();
        auto* ping = field<QPushButton>(form, "Cmd_Ping");
        echo.duringWait = [ping] { QTest::mouseClick(ping, Qt::LeftButton); };
        QTest::mouseClick(ping, Qt::LeftButton);
        QCOMPARE(echo.fake.targets.size(), 1);
        QVERIFY(replyText(form).startsWith(QStringLiteral("Status:")));
        QTest::mouseClick(ping, Qt::LeftButton);
        QCOMPARE(echo.fake.targets.size(), 2);
    }

    void windowClosedDuringTheWaitIsLeftAlone() {
        WaitingEcho echo;
        QPointer<FormInfo> form = new FormInfo(echo);
        form->show();
        echo.duringWait = [&form] { delete form.data(); };
        QTest::mouseClick(field<QPushButton>(*form, "Cmd_Ping"), Qt::LeftButton);
        QVERIFY(form.isNull());
        QCOMPARE(echo.fake.targets.size(), 1);
    }

    void layoutFollowsTheWindowSize_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("design") << QSize(600, 560);
        QTest::newRow("wide") << QSize(1200, 900);
        QTest::newRow("tiny") << QSize(40, 30);
    }
    void layoutFollowsTheWindowSize() {
        QFETCH(QSize, size);
        FakeEcho echo;
        FormInfo form(echo);
        form.show();
        form.resize(size);
        QTRY_COMPARE(form.size(), size);
        for (const QWidget* child : form.findChildren<QWidget*>())
            QVERIFY2(child->width() >= 0 && child->height() >= 0, qPrintable(child->objectName()));
        if (size.width() < 200)
            return;
        const auto twips = [&form](int value) {
            return qRound(value * form.logicalDpiX() / 1440.0);
        };
        const int margin = twips(100);
        const auto* frame = field<QGroupBox>(form, "Frame1");
        const auto* cancel = field<QPushButton>(form, "CmdCancel");
        QCOMPARE(frame->width(), size.width() - twips(200));
        QCOMPARE(cancel->geometry().right() + 1, size.width() - margin);
        QCOMPARE(frame->geometry().bottom() + 1, size.height() - cancel->height() - margin);
        const auto* reply = field<QPlainTextEdit>(form, "TextReplyData");
        const auto* hex = field<QPlainTextEdit>(form, "TextReplyHex");
        QCOMPARE(hex->width(), reply->width());
        QCOMPARE(hex->geometry().bottom() + 1, frame->height() - margin);
    }
};

QTEST_MAIN(TestFormInfo)
#include "tst_forminfo.moc"
