#include "HostileText.h"
#include "platform/AppPaths.h"
#include "platform/gui/MessageBoxes.h"
#include "platform/gui/SystemTrayIcon.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

class TestPlatform final : public QObject {
    Q_OBJECT
private slots:
    void appPathEndsWithOneSeparator() {
        QTemporaryDir dir;
        setAppPathForTesting(dir.path());
        QCOMPARE(GetAppPath(), dir.path() + QLatin1Char('/'));
        setAppPathForTesting(dir.path() + QLatin1Char('/'));
        QCOMPARE(GetAppPath(), dir.path() + QLatin1Char('/'));
        setAppPathForTesting({});
        QCOMPARE(GetAppPath(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    }

    void messageBoxesAnswerFromTheQueue() {
        MessageBoxes::setTestMode(true);
        QCOMPARE(MessageBoxes::show(nullptr, QMessageBox::Question, QStringLiteral("t"),
                                    QStringLiteral("x"), QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::Yes);
        MessageBoxes::queueAnswer(QMessageBox::No);
        QCOMPARE(MessageBoxes::show(nullptr, QMessageBox::Critical,
                                    QStringLiteral("对不起,添加失败"), QStringLiteral("y"),
                                    QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::No);
        const auto shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(1).title, QStringLiteral("对不起,添加失败"));
        QCOMPARE(shown.at(1).icon, QMessageBox::Critical);
        QVERIFY(MessageBoxes::takeShown().isEmpty());
        MessageBoxes::setTestMode(false);
    }

    // Boxes show names and reports from outside: as written, loading nothing.
    void messageBoxesShowPlainText() {
        HostileText::capMemory();
        HostileText::Fifo fifo;
        for (const QString& payload : HostileText::payloads(fifo)) {
            const auto box =
                MessageBoxes::makeBox(nullptr, QMessageBox::Critical,
                                      QStringLiteral("对不起,添加失败"), payload, QMessageBox::Ok);
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QCOMPARE(box->text(), payload);
            const double ms = HostileText::cpuMsOf([&box] {
                box->show();
                box->grab();
            });
            QVERIFY2(ms < HostileText::MaxMs, qPrintable(QString::number(ms)));
        }
        QVERIFY(!fifo.opened());
    }

    // Where Qt draws the tray, its tip is a Qt tool-tip, which renders
    // markup, and its balloon is plain; a StatusNotifierItem tray shows the
    // tip as a plain title and hands the balloon to notifications, whose body
    // may be markup. Each is given a text that shows as written.
    void trayTextsShowAsWritten() {
        HostileText::capMemory();
        HostileText::Fifo fifo;
        for (const QString& payload : HostileText::payloads(fifo)) {
            const QString tip = QStringLiteral("IP:") + payload + QStringLiteral("\r\n状态:x");
            const double ms = HostileText::cpuMsOf([&tip] {
                QToolTip::showText(QPoint(10, 10), SystemTrayIcon::tipFor(tip, true));
                QApplication::processEvents();
            });
            QVERIFY2(ms < HostileText::MaxMs, qPrintable(QString::number(ms)));
            QCOMPARE(HostileText::shown(QToolTip::text()), QString(tip).remove(u'\r'));
            QToolTip::hideText();
            QCOMPARE(SystemTrayIcon::tipFor(tip, false), tip);
            QCOMPARE(SystemTrayIcon::balloonTextFor(tip, true), tip);
            QCOMPARE(SystemTrayIcon::balloonTextFor(tip, false), tip.toHtmlEscaped());
        }
        QVERIFY(!fifo.opened());
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
