#include "RecordingUrlOpener.h"
#include "shell/FormAD.h"
#include "shell/ModuleHTTP.h"

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

namespace {

QUrl pageOn(quint16 port) {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/ads/ads.asp").arg(port));
}

// A loopback port that nothing listens on.
QUrl closedPortUrl() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return pageOn(probe.serverPort());
}

QTextBrowser* browserOf(QObject& form) {
    return form.findChild<QTextBrowser*>(QStringLiteral("WebAD"));
}

QTimer* timerOf(QObject& form, const char* name) {
    return form.findChild<QTimer*>(QLatin1String(name));
}

} // namespace

class TestFormAD final : public QObject {
    Q_OBJECT
private slots:
    void page_data() {
        QTest::addColumn<QByteArray>("response"); // empty: nothing listens
        QTest::addColumn<QString>("shown");
        const QByteArray ok = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        QTest::newRow("utf-8") << ok + "Content-Type: text/html; charset=utf-8\r\n\r\n<p>新版本</p>"
                               << QStringLiteral("新版本");
        QTest::newRow("gbk named in the page")
            << ok + "\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">" +
                   QStringEncoder("GBK").encode(QStringLiteral("欢迎使用"))
            << QStringLiteral("欢迎使用");
        QTest::newRow("not found")
            << QByteArray("HTTP/1.1 404 Not Found\r\n\r\n") << FormAD::loadErrorText();
        QTest::newRow("too large")
            << ok + "\r\n" + QByteArray(FormAD::MaxPageBytes + 10, 'a') << FormAD::loadErrorText();
        QTest::newRow("closed port") << QByteArray() << FormAD::loadErrorText();
    }
    void page() {
        QFETCH(QByteArray, response);
        QFETCH(QString, shown);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, response] {
                if (socket->readAll().endsWith("\r\n\r\n")) {
                    socket->write(response);
                    socket->disconnectFromHost();
                }
            });
        });
        FormAD form(response.isEmpty() ? closedPortUrl() : pageOn(server.serverPort()));
        QTRY_COMPARE_WITH_TIMEOUT(browserOf(form)->toPlainText().trimmed(), shown, 10000);
    }

    void silentServerTimesOut() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        FormAD form(pageOn(silent.serverPort()));
        form.setFetchTimeout(200);
        QTRY_COMPARE_WITH_TIMEOUT(browserOf(form)->toPlainText(), FormAD::loadErrorText(), 10000);
    }

    void pageNeverReadsLocalFiles() {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("x.png"));
        QImage(4, 4, QImage::Format_RGB32).save(image);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<p>ad</p><img src=\"" +
                          QUrl::fromLocalFile(image).toEncoded() + "\">");
            socket->disconnectFromHost();
        });
        FormAD form(pageOn(server.serverPort()));
        QTRY_COMPARE_WITH_TIMEOUT(browserOf(form)->toPlainText().left(2), QStringLiteral("ad"),
                                  10000);
        const QVariant shown = browserOf(form)->document()->resource(QTextDocument::ImageResource,
                                                                     QUrl::fromLocalFile(image));
        QCOMPARE_NE(qvariant_cast<QImage>(shown).size(), QSize(4, 4));
    }

    void slideStopsPastTheTarget_data() {
        QTest::addColumn<QRect>("screen");
        QTest::newRow("second screen") << QRect(1920, 100, 1280, 1024);
        QTest::newRow("shorter than the window") << QRect(0, 0, 800, 100);
        QTest::newRow("beyond 32767 twips") << QRect(0, 0, 3840, 2400);
    }
    void slideStopsPastTheTarget() {
        QFETCH(QRect, screen);
        FormAD form(closedPortUrl());
        timerOf(form, "Timer2")->stop();
        form.placeOn(screen);
        QCOMPARE(form.x() + form.width(), screen.right() + 1);
        QCOMPARE(form.y(), screen.bottom() + 1 - 30); // 450 twips
        for (int tick = 0; tick < 10000 && !timerOf(form, "Timer1")->isActive(); ++tick)
            form.Timer2_Timer();
        QVERIFY(!timerOf(form, "Timer2")->isActive());
        // Rests between 1 and 20 twips (up to two pixels) above the target.
        const int targetY = screen.y() + form.slideTargetTop() / 15;
        QVERIFY2(form.y() <= targetY && form.y() >= targetY - 2,
                 qPrintable(QStringLiteral("%1 / %2").arg(form.y()).arg(targetY)));
    }

    void captionCountsDownAndCloses() {
        FormAD form(closedPortUrl());
        form.show();
        QCOMPARE(form.windowTitle(), QStringLiteral("当前版本:1.0.28"));
        QTRY_VERIFY_WITH_TIMEOUT(timerOf(form, "Timer1")->isActive(), 10000);
        timerOf(form, "Timer1")->stop();
        QStringList captions;
        for (int tick = 0; tick < 20; ++tick) {
            form.Timer1_Timer();
            captions << form.windowTitle();
        }
        QCOMPARE(captions.first(), QStringLiteral("当前版本:1.0.28[19秒后关闭]"));
        QCOMPARE(captions.last(), QStringLiteral("当前版本:1.0.28[0秒后关闭]"));
        QVERIFY(form.isVisible());
        form.Timer1_Timer();
        QVERIFY(!form.isVisible());
    }

    void showingAgainKeepsTheCountdown() {
        QPointer<FormAD> form = FormAD::showAnnouncement(closedPortUrl());
        QTRY_VERIFY_WITH_TIMEOUT(timerOf(*form, "Timer1")->isActive(), 10000);
        form->Timer1_Timer();
        const QString caption = form->windowTitle();
        const QPoint position = form->pos();
        QCOMPARE(FormAD::showAnnouncement(closedPortUrl()), form.data());
        QCOMPARE(form->windowTitle(), caption);
        QCOMPARE(form->pos(), position);
        QVERIFY(form->closeCountdown() < FormAD::CountdownSeconds);
        form->close();
        QTRY_VERIFY(form.isNull());
    }

    void closingNeverEndsTheProgram() {
        QApplication::setQuitOnLastWindowClosed(true);
        FormAD form(closedPortUrl());
        QTimer::singleShot(0, &form, [&form] {
            form.show();
            form.close();
        });
        // Only this exit code shows that closing the window did not quit.
        QTimer::singleShot(300, qApp, [] { QCoreApplication::exit(7); });
        QCOMPARE(QApplication::exec(), 7);
    }

    void linksOpenOnlyWebPages_data() {
        QTest::addColumn<QUrl>("link");
        QTest::addColumn<QString>("opened");
        QTest::newRow("relative") << QUrl("/news/1.asp") << "http://127.0.0.1:9/news/1.asp";
        QTest::newRow("local file") << QUrl("file:///etc/passwd") << "";
        QTest::newRow("mail") << QUrl("mailto:someone@example.com") << "";
    }
    void linksOpenOnlyWebPages() {
        QFETCH(QUrl, link);
        QFETCH(QString, opened);
        RecordingUrlOpener recorder;
        ModuleHTTP::setUrlOpener(&recorder);
        FormAD form(pageOn(9));
        emit browserOf(form)->anchorClicked(link);
        ModuleHTTP::setUrlOpener(nullptr);
        QCOMPARE(recorder.opened, opened.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl(opened)});
    }
};

QTEST_MAIN(TestFormAD)
#include "tst_formad.moc"
