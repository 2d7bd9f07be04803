#include "HostileText.h"
#include "RecordingUrlOpener.h"
#include "shell/AnnouncementPage.h"
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

// Tables nested `depth` deep around one word.
QString nestedTables(int depth) {
    return QStringLiteral("<table><tr><td>").repeated(depth) + QStringLiteral("deep") +
           QStringLiteral("</td></tr></table>").repeated(depth);
}

// The deepest nesting in markup that reduce() wrote, of the elements whose
// name starts with `name` (all elements for an empty name).
int deepest(const QString& html, const QString& name = {}) {
    int depth = 0;
    int most = 0;
    for (qsizetype at = html.indexOf(u'<'); at >= 0; at = html.indexOf(u'<', at + 1)) {
        const QStringView tag = QStringView(html).mid(at + 1);
        if (tag.startsWith(u"br>") || tag.startsWith(u"hr>"))
            continue;
        if (tag.startsWith(u'/'))
            depth -= tag.mid(1).startsWith(name);
        else if (tag.startsWith(name))
            most = qMax(most, ++depth);
    }
    return most;
}

// A one-page server on 127.0.0.1.
class PageServer {
public:
    explicit PageServer(const QByteArray& response) {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this, response] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, response] {
                if (socket->readAll().endsWith("\r\n\r\n")) {
                    socket->write(response);
                    socket->disconnectFromHost();
                }
            });
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
};

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

    void reduceKeepsASafeSubset_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("reduced");
        QTest::newRow("formatting") << "<p align=center>新版本 <b>1.0.29</b><br/></p>"
                                    << "<p align=\"center\">新版本 <b>1.0.29</b><br></p>";
        QTest::newRow("links keep only their target")
            << "<a href=\"/news/1.asp\" onclick=\"x()\">新闻</a>"
            << "<a href=\"/news/1.asp\">新闻</a>";
        QTest::newRow("quotes in a value") << "<a href='x\"y'>q</a>"
                                           << "<a href=\"x&quot;y\">q</a>";
        QTest::newRow("no images") << "<img src=\"/dev/zero\">图"
                                   << "图";
        QTest::newRow("no scripts, style sheets or titles")
            << "<title>t</title><script>alert('<p>')</script><STYLE>p{}</STYLE>ok"
            << "ok";
        QTest::newRow("no styles") << "<p style=\"background:url(x)\" class=c>t</p>"
                                   << "<p>t</p>";
        QTest::newRow("frames keep their text") << "<iframe src=\"http://x/\">i</iframe>"
                                                << "i";
        QTest::newRow("font without face") << "<font color=\"red\" face=\"x\" size=\"+2\">f</font>"
                                           << "<font color=\"red\" size=\"+2\">f</font>";
        QTest::newRow("cells close each other, spans stay small")
            << "<table border=1><tr><td colspan=99999>a<td rowspan=2>b</table>"
            << "<table border=\"1\"><tr><td>a</td><td rowspan=\"2\">b</td></tr></table>";
        QTest::newRow("cells outside a table are text") << "<td>c</td>"
                                                        << "c";
        QTest::newRow("text as written") << "a < b & c &amp; d > e"
                                         << "a &lt; b & c &amp; d > e";
        QTest::newRow("open elements are closed") << "<div><span>x"
                                                  << "<div><span>x</span></div>";
        QTest::newRow("stray close, comment, doctype") << "</b><!DOCTYPE html><!-- <b> -->t<?x?>"
                                                       << "t";
        QTest::newRow("a comment left open ends the page") << "a<!-- b"
                                                           << "a";
    }
    void reduceKeepsASafeSubset() {
        QFETCH(QString, page);
        QFETCH(QString, reduced);
        QCOMPARE(AnnouncementPage::reduce(page), reduced);
    }

    // Pages that took seconds, froze or overflowed the stack, and their kin:
    // reduced and laid out in well under 100 ms.
    void anyPageRendersQuickly_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("text"); // a piece the reduced page still shows
        QTest::newRow("tables 20 deep") << nestedTables(20) << "deep";
        QTest::newRow("tables 25 deep") << nestedTables(25) << "deep";
        QTest::newRow("tables 3000 deep") << nestedTables(3000) << "deep";
        QTest::newRow("cells never closed")
            << "<table>" + QStringLiteral("<tr><td><table>").repeated(2000) + "x"
            << "x";
        QTest::newRow("lists 20000 deep") << QStringLiteral("<ul><li>").repeated(20000) + "y"
                                          << "y";
        QTest::newRow("spans 100000 deep") << QStringLiteral("<span>").repeated(100000) + "v"
                                           << "v";
        QTest::newRow("100000 elements") << QStringLiteral("<b>z</b>").repeated(100000) << "z";
        QTest::newRow("a megabyte of text") << QString(1024 * 1024, u'w') << "www";
        QTest::newRow("one big table")
            << "<table>" + QStringLiteral("<tr><td>1</td><td>2</td></tr>").repeated(20000) +
                   "</table>"
            << "1";
    }
    void anyPageRendersQuickly() {
        QFETCH(QString, page);
        QFETCH(QString, text);
        QString reduced;
        QTextBrowser browser;
        browser.resize(FormAD::WidthPixels, FormAD::HeightPixels);
        browser.show();
        const double ms = HostileText::cpuMsOf([&] {
            reduced = AnnouncementPage::reduce(page);
            browser.setHtml(reduced);
            browser.document()->size();
            browser.grab();
        });
        QVERIFY2(ms < 100.0 * HostileText::Slowdown, qPrintable(QString::number(ms)));
        QVERIFY(browser.toPlainText().contains(text));
        QVERIFY(deepest(reduced, QStringLiteral("table")) <= AnnouncementPage::MaxTableDepth);
        QVERIFY(deepest(reduced) <= AnnouncementPage::MaxDepth);
        QVERIFY(reduced.count(u'<') <= 2 * AnnouncementPage::MaxElements);
        // Text up to its bound, and a line break at most per element.
        QVERIFY(browser.toPlainText().size() <=
                AnnouncementPage::MaxTextChars + AnnouncementPage::MaxElements);
        qInfo("reduced and laid out in %.1f ms", ms);
    }

    void deepPageFromTheNetworkNeverHoldsTheWindow() {
        PageServer server("HTTP/1.1 200 OK\r\nConnection: close\r\n"
                          "Content-Type: text/html; charset=utf-8\r\n\r\n" +
                          nestedTables(3000).toUtf8());
        HostileText::StallWatch stalls;
        FormAD form(pageOn(server.port()));
        form.show();
        QTRY_VERIFY_WITH_TIMEOUT(browserOf(form)->toPlainText().contains(QStringLiteral("deep")),
                                 10000);
        form.grab();
        QVERIFY2(stalls.longestMs() < 100.0 * HostileText::Slowdown,
                 qPrintable(QString::number(stalls.longestMs())));
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
