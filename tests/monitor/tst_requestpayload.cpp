#include "monitor/GbkText.h"
#include "monitor/RequestPayload.h"

#include <QTest>

class TestRequestPayload final : public QObject {
    Q_OBJECT
private slots:
    void bytesOfEachForm_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hexEnabled");
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char* name, const QString& text, bool hex, QByteArray bytes) {
            QTest::newRow(name) << text << hex << bytes;
        };
        row("four characters are plain", "ABCD", false, "ABCD");
        row("bare prefix is plain", "asc:", false, "asc:");
        row("empty sends nothing", "", false, {});
        row("plain text is GBK", "服务", false, GbkText::encode(QStringLiteral("服务")));
        row("prefix without regard to case", "asc:65:66", false, "AB");
        row("empty last token", "ASC:13:10:", false, "\r\n");
        row("token that is no number", "ASC:65:x:66", false, "AB");
        row("blanks around codes", "ASC: 65 :66 ", false, "AB");
        row("fractions halve to even", "ASC:65.5:66.5:66.4", false, "BBB");
        row("every prefix is removed", "ASC:65:asc:66", false, "AB");
        row("codes outside a byte send nothing", "ASC:65:256:-1:0:1e9", false,
            QByteArray("A\0", 2));
        row("hex is plain unless enabled", "HEX:41:42", false, "HEX:41:42");
        row("hex codes", "HEX:41:42", true, "AB");
        row("empty hex token is a zero byte", "HEX:41::42", true, QByteArray("A\0B", 3));
        row("hex digits up to the first other", "hex:4g:zz", true, QByteArray("\x04\0", 2));
        row("hex token read from its start", "HEX: 41:42", true, QByteArray("\0B", 2));
        row("hex blank after digits ends them", "HEX:41 :4 2", true, "A\x04");
        row("hex above a byte sends nothing", "HEX:41:100:FFFFFFFFF:42", true, "AB");
        row("leading blank is no prefix", " ASC:65", false, " ASC:65");
    }
    void bytesOfEachForm() {
        QFETCH(QString, text);
        QFETCH(bool, hexEnabled);
        QFETCH(QByteArray, bytes);
        QCOMPARE(requestBytes(text, hexEnabled), bytes);
    }
};

QTEST_MAIN(TestRequestPayload)
#include "tst_requestpayload.moc"
