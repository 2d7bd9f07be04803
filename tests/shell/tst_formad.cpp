#include "RecordingUrlOpener.h"
#include "shell/FormAD.h"
#include "shell/ModuleHTTP.h"

#include <QApplication>
#include <QPointer>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

namespace {

// Answers every request on 127.0.0.1 with one scripted response.
class PageServer final : public QObject {
public:
    explicit PageServer(QByteArray response)
        : m_response(std::move(response)) {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_request.contains("\r\n\r\n"))
                        return;
                    socket->write(m_response);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/ads/ads.asp").arg(m_server.serverPort()));
    }

private:
    QTcpServer m_server;
    QByteArray m_response;
    QByteArray m_request;
};

QByteArray httpResponse(const QByteArray& status, const QByteArray& contentType,
                        const QByteArray& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

QUrl closedPortUrl() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return {};
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/ads/ads.asp").arg(port));
}

QTextBrowser* browserOf(FormAD& form) {
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
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("shown");
        const QString error = FormAD::loadErrorText();
        QTest::newRow("utf-8 page")
            << httpResponse("200 OK", "text/html; charset=utf-8", "<p>新版本 1.0.29 已发布</p>")
            << QStringLiteral("新版本 1.0.29 已发布");
        QStringEncoder gbk("GBK");
        const QByteArray gbkBody = "<html><head><meta http-equiv=\"Content-Type\" "
                                   "content=\"text/html; charset=gbk\"></head><body>" +
                                   QByteArray(gbk.encode(QStringLiteral("欢迎使用"))) +
                                   "</body></html>";
        QTest::newRow("gbk page named in the page")
            << httpResponse("200 OK", "text/html", gbkBody) << QStringLiteral("欢迎使用");
        QTest::newRow("not found")
            << httpResponse("404 Not Found", "text/html", "<p>gone</p>") << error;
        QTest::newRow("too large")
            << httpResponse("200 OK", "text/html", QByteArray(FormAD::MaxPageBytes + 10, 'a'))
            << error;
    }
    void page() {
        QFETCH(QByteArray, response);
        QFETCH(QString, shown);
        PageServer server(response);
        FormAD form(server.url());
        QTRY_COMPARE_WITH_TIMEOUT(browserOf(form)->toPlainText().trimmed(), shown, 10000);
    }

    void closedPortShowsTheErrorText() {
        const QUrl url = closedPortUrl();
        QVERIFY(url.isValid());
        FormAD form(url);
        form.show();
        QTRY_COMPARE_WITH_TIMEOUT(browserOf(form)->toPlainText(), FormAD::loadErrorText(), 10000);
        // The window goes on sliding and counting regardless.
        QTRY_VERIFY_WITH_TIMEOUT(timerOf(form, "Timer1")->isActive(), 10000);
    }

    void slideStopsPastTheTarget_data() {
        QTest::addColumn<QRect>("screen");
        QTest::newRow("ordinary screen") << QRect(0, 0, 1024, 768);
        QTest::newRow("second screen") << QRect(1920, 100, 1280, 1024);
        QTest::newRow("shorter than the window") << QRect(0, 0, 800, 100);
    }
    void slideStopsPastTheTarget() {
        QFETCH(QRect, screen);
        FormAD form(closedPortUrl());
        timerOf(form, "Timer2")->stop();
        form.placeOn(screen);
        const int startY = form.y();
        QCOMPARE(form.x() + form.width(), screen.x() + screen.width());
        QVERIFY(startY > screen.y() + screen.height() - form.height());
        const int target = form.slideTargetTop();
        const double twipsPerPixel =
            1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchY();
        int ticks = 0;
        while (!timerOf(form, "Timer1")->isActive() && ticks < 10000) {
            form.Timer2_Timer();
            ++ticks;
        }
        QVERIFY(timerOf(form, "Timer1")->isActive());
        QVERIFY(!timerOf(form, "Timer2")->isActive());
        // Rests between 1 and 20 twips above the target.
        const double restTwips = (form.y() - screen.y()) * twipsPerPixel;
        QVERIFY2(restTwips < target + twipsPerPixel && restTwips >= target - 20 - twipsPerPixel,
                 qPrintable(QStringLiteral("rest %1, target %2").arg(restTwips).arg(target)));
        QVERIFY(form.y() < startY);
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
        QCOMPARE(captions.at(10), QStringLiteral("当前版本:1.0.28[9秒后关闭]"));
        QCOMPARE(captions.last(), QStringLiteral("当前版本:1.0.28[0秒后关闭]"));
        QVERIFY(form.isVisible());
        form.Timer1_Timer();
        QVERIFY(!form.isVisible());
    }

    void showingAgainKeepsTheCountdown() {
        const QUrl url = closedPortUrl();
        QPointer<FormAD> form = FormAD::showAnnouncement(url);
        QVERIFY(form);
        QTRY_VERIFY_WITH_TIMEOUT(timerOf(*form, "Timer1")->isActive(), 10000);
        form->Timer1_Timer();
        form->Timer1_Timer();
        const QString caption = form->windowTitle();
        const int countdown = form->closeCountdown();
        const QPoint position = form->pos();
        QCOMPARE(FormAD::showAnnouncement(url), form.data());
        QCOMPARE(form->windowTitle(), caption);
        QCOMPARE(form->closeCountdown(), countdown);
        QCOMPARE(form->pos(), position);
        QVERIFY(!timerOf(*form, "Timer2")->isActive());
        QVERIFY(countdown < FormAD::CountdownSeconds);
        form->close();
        QTRY_VERIFY(form.isNull());
        QVERIFY(FormAD::showAnnouncement(url) != nullptr);
        FormAD::showAnnouncement(url)->close();
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
        QTest::newRow("absolute https")
            << QUrl("https://www.example.com/a") << "https://www.example.com/a";
        QTest::newRow("local file") << QUrl("file:///etc/passwd") << "";
        QTest::newRow("mail") << QUrl("mailto:someone@example.com") << "";
    }
    void linksOpenOnlyWebPages() {
        QFETCH(QUrl, link);
        QFETCH(QString, opened);
        RecordingUrlOpener recorder;
        ModuleHTTP::setUrlOpener(&recorder);
        // Port 9 on loopback: the fetch fails at once and is not what is tested.
        FormAD form(QUrl(QStringLiteral("http://127.0.0.1:9/ads/ads.asp")));
        emit browserOf(form)->anchorClicked(link);
        ModuleHTTP::setUrlOpener(nullptr);
        QCOMPARE(recorder.opened.size(), opened.isEmpty() ? 0 : 1);
        if (!opened.isEmpty())
            QCOMPARE(recorder.opened.first().toString(), opened);
    }
};

QTEST_MAIN(TestFormAD)
#include "tst_formad.moc"
