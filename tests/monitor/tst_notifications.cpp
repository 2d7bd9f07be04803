#include "FakeDesktopNotifications.h"
#include "FakeTrayIcon.h"
#include "monitor/GbkText.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ui/AlertNotifier.h"
#include "monitor/ui/ModuleTrayIcon.h"
#include "platform/SoundPlayer.h"
#include "platform/gui/AppIcons.h"
#include "platform/gui/EffectSoundPlayer.h"
#include "platform/gui/StyleSheetSkinEngine.h"
#include "platform/gui/SystemTrayIcon.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSoundEffect>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Writes each sound into the tray's call list, so the order of sound and
// tray operations shows in one place.
class LoggingSound final : public SoundPlayer {
public:
    QStringList* calls = nullptr;
    void play(const QString& wavPath) override { calls->append(QStringLiteral("play ") + wavPath); }
};

QIcon solidIcon(Qt::GlobalColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString sourceFile(const QString& relative) {
    return qEnvironmentVariable("SERVERMON_SOURCE_DIR") + QLatin1Char('/') + relative;
}

} // namespace

class TestNotifications final : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_tray = std::make_unique<FakeTrayIcon>();
        m_sound.calls = &m_tray->calls;
        m_settings.bPlaySnd = true;
        m_notifier = std::make_unique<AlertNotifier>(m_sound, m_settings, m_pictures);
        ModuleTrayIcon::setTrayIcon(m_tray.get());
    }
    void cleanup() {
        ModuleTrayIcon::setTrayIcon(nullptr);
        m_notifier.reset();
        m_tray.reset();
    }

    void showMsgSoundsShowsAndFlashesInOrder_data() {
        QTest::addColumn<int>("bPlaySnd");
        QTest::addColumn<QStringList>("calls");
        const QString balloon = QStringLiteral("showBalloon");
        const QString play = QStringLiteral("play ") + AlertNotifier::soundFile();
        QTest::newRow("sound on") << 1 << QStringList{play, balloon};
        QTest::newRow("sound off") << 0 << QStringList{balloon};
        QTest::newRow("greyed box plays") << 2 << QStringList{play, balloon};
    }
    void showMsgSoundsShowsAndFlashesInOrder() {
        QFETCH(int, bPlaySnd);
        QFETCH(QStringList, calls);
        m_settings.bPlaySnd = bPlaySnd;
        m_notifier->ShowMsg(4, QStringLiteral("服务器 A 无回应"),
                            QStringLiteral("注意:服务器测试返回异常"));
        QCOMPARE(m_tray->calls, calls);
        QCOMPARE(m_tray->balloons,
                 QStringList{QStringLiteral("注意:服务器测试返回异常|服务器 A 无回应")});
        QVERIFY(m_notifier->isFlashing());
        QVERIFY(AlertNotifier::soundFile().endsWith(QStringLiteral("/Sound/NewMessage.wav")));
    }

    // Phases run 1, 2, 1, ...; the phase survives a stop, so a new run
    // after an odd number of ticks starts with element 2.
    void flashingAlternatesAndKeepsItsPhase_data() {
        QTest::addColumn<int>("ticksBeforeStop");
        QTest::addColumn<int>("firstAfterRestart");
        QTest::newRow("no tick") << 0 << 1;
        QTest::newRow("one tick") << 1 << 2;
        QTest::newRow("two ticks") << 2 << 1;
        QTest::newRow("five ticks") << 5 << 2;
    }
    void flashingAlternatesAndKeepsItsPhase() {
        QFETCH(int, ticksBeforeStop);
        QFETCH(int, firstAfterRestart);
        m_notifier->ShowMsg(4, QStringLiteral("t"), QStringLiteral("x"));
        for (int tick = 0; tick < ticksBeforeStop; ++tick) {
            m_notifier->TimerTrayFlash_Timer();
            QCOMPARE(shownElement(), tick % 2 == 0 ? 1 : 2);
        }
        m_notifier->stopFlashing();
        QVERIFY(!m_notifier->isFlashing());
        QCOMPARE(shownElement(), 0);
        m_notifier->ShowMsg(4, QStringLiteral("t"), QStringLiteral("x"));
        m_notifier->TimerTrayFlash_Timer();
        QCOMPARE(shownElement(), firstAfterRestart);
    }

    void flashingRunsOnTheTimerAndASecondAlertKeepsIt() {
        m_notifier->ShowMsg(4, QStringLiteral("t"), QStringLiteral("x"));
        QTRY_VERIFY_WITH_TIMEOUT(m_tray->iconChanges >= 1, 5000);
        const bool phase = m_notifier->flashPhase();
        m_notifier->ShowMsg(4, QStringLiteral("t"), QStringLiteral("y"));
        QVERIFY(m_notifier->isFlashing());
        QCOMPARE(m_notifier->flashPhase(), phase);
        QCOMPARE(m_tray->balloons.size(), 2);
    }

    void withoutATrayTheRestStillRuns() {
        ModuleTrayIcon::setTrayIcon(nullptr);
        m_notifier->ShowMsg(4, QStringLiteral("t"), QStringLiteral("x"));
        m_notifier->TimerTrayFlash_Timer();
        QCOMPARE(m_tray->calls.size(), 1); // the sound only
        QVERIFY(m_notifier->isFlashing());
        ModuleTrayIcon::setTrayIcon(m_tray.get());
        m_notifier->stopFlashing();
        m_tray.reset(); // a destroyed tray is forgotten
        QCOMPARE(ModuleTrayIcon::trayIcon(), nullptr);
        ModuleTrayIcon::TrayRemove();
    }

    // Where the desktop has no tray the balloon becomes a desktop notice,
    // one per server; with a tray the balloon is the only notice.
    void withoutATrayAlertsBecomeDesktopNotices_data() {
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<QStringList>("balloons");
        QTest::addColumn<QStringList>("notices");
        QTest::newRow("no tray") << false << QStringList{}
                                 << QStringList{"5|注意:服务器PING异常|IP:127.0.0.5",
                                                "|你注意到没？|提示"};
        QTest::newRow("tray") << true
                              << QStringList{"注意:服务器PING异常|IP:127.0.0.5",
                                             "你注意到没？|提示"}
                              << QStringList{};
    }
    void withoutATrayAlertsBecomeDesktopNotices() {
        QFETCH(bool, trayAvailable);
        QFETCH(QStringList, balloons);
        QFETCH(QStringList, notices);
        FakeDesktopNotifications desktop;
        AlertNotifier notifier(m_sound, m_settings, m_pictures, &desktop);
        QSignalSpy alerted(&notifier, &AlertNotifier::alerted);
        m_tray->available = trayAvailable;
        notifier.ShowServerMsg(QStringLiteral("5"), 4, QStringLiteral("IP:127.0.0.5"),
                               QStringLiteral("注意:服务器PING异常"));
        notifier.ShowMsg(4, QStringLiteral("提示"), QStringLiteral("你注意到没？"));
        QCOMPARE(m_tray->balloons, balloons);
        QCOMPARE(desktop.notices, notices);
        // Sound and flashing as ever, and the window hears of each alert.
        QCOMPARE(m_tray->calls.count(QStringLiteral("play ") + AlertNotifier::soundFile()), 2);
        QVERIFY(notifier.isFlashing());
        QCOMPARE(alerted.size(), 2);
    }

    // A notice shows as an alert does, but neither sounds nor flashes.
    void noticesNeitherSoundNorFlash() {
        QSignalSpy alerted(m_notifier.get(), &AlertNotifier::alerted);
        m_notifier->ShowServerNotice(QStringLiteral("5"), QStringLiteral("服务器:web"),
                                     QStringLiteral("注意:服务器已恢复"));
        QCOMPARE(m_tray->calls, QStringList{QStringLiteral("showBalloon")});
        QCOMPARE(m_tray->balloons, QStringList{QStringLiteral("注意:服务器已恢复|服务器:web")});
        QVERIFY(!m_notifier->isFlashing());
        QCOMPARE(alerted.size(), 0);
    }

    void textsAreCutByGbkBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("fieldBytes");
        QTest::addColumn<QString>("expected");
        const QString a = QStringLiteral("a");
        const QString han = QStringLiteral("监");
        const QString emoji = QString::fromUcs4(U"\U0001F600");
        QTest::newRow("short whole")
            << QStringLiteral("服务器监控系统") << 128 << QStringLiteral("服务器监控系统");
        QTest::newRow("128 ascii whole") << a.repeated(128) << 128 << a.repeated(128);
        QTest::newRow("129 ascii cut") << a.repeated(129) << 128 << a.repeated(128);
        QTest::newRow("64 double-byte whole") << han.repeated(64) << 128 << han.repeated(64);
        QTest::newRow("65 double-byte cut") << han.repeated(65) << 128 << han.repeated(64);
        QTest::newRow("never half a character")
            << a + han.repeated(64) << 128 << a + han.repeated(63);
        QTest::newRow("title 64") << han.repeated(40) << 64 << han.repeated(32);
        QTest::newRow("balloon 256")
            << QStringLiteral("ab监").repeated(70) << 256 << QStringLiteral("ab监").repeated(64);
        QTest::newRow("zero ends")
            << QStringView(u"ab\0cd", 5).toString() << 128 << QStringLiteral("ab");
        QTest::newRow("pair outside GBK whole") << a + emoji + a << 2 << a + emoji;
        QTest::newRow("empty") << QString() << 128 << QString();
    }
    void textsAreCutByGbkBytes() {
        QFETCH(QString, text);
        QFETCH(int, fieldBytes);
        QFETCH(QString, expected);
        const QString cut = ModuleTrayIcon::cutToBytes(text, fieldBytes);
        QCOMPARE(cut, expected);
        QVERIFY(GbkText::encode(cut).size() <= fieldBytes);
    }

    void trayOperationsCutTheirTexts() {
        const QString han = QStringLiteral("监");
        ModuleTrayIcon::TrayAdd(solidIcon(Qt::blue), han.repeated(70));
        QCOMPARE(m_tray->tip, han.repeated(64));
        ModuleTrayIcon::TrayBalloon(han.repeated(200), han.repeated(40));
        QCOMPARE(m_tray->balloons.constLast(), han.repeated(32) + u'|' + han.repeated(128));
        ModuleTrayIcon::TraySetTip(QStringLiteral("新提示"));
        QCOMPARE(m_tray->tip, QStringLiteral("新提示"));
        ModuleTrayIcon::TrayRemove();
        // A tip change after a balloon does not show the balloon again.
        QCOMPARE(m_tray->calls,
                 (QStringList{u"add"_qs, u"showBalloon"_qs, u"setTip"_qs, u"remove"_qs}));
    }

    void iconFilesLoadOrKeepThePicture() {
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.png"));
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::green);
        QVERIFY(image.save(good));
        const QString notImage = dir.filePath(QStringLiteral("text.ico"));
        writeFile(notImage, "not an image");

        const QIcon current = solidIcon(Qt::blue);
        ModuleTrayIcon::TrayAdd(current, QStringLiteral("tip"));
        for (const QString& bad : {dir.filePath(QStringLiteral("missing.ico")), notImage}) {
            ModuleTrayIcon::TraySetIcon(bad);
            QCOMPARE(m_tray->icon.cacheKey(), current.cacheKey());
        }
        ModuleTrayIcon::TraySetIcon(good);
        QCOMPARE(m_tray->icon.pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::green));
    }

    void activationsBecomeMouseMessages_data() {
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("reportsDoubleClicks");
        QTest::addColumn<int>("message");
        QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << true << 515;
        QTest::newRow("click, double-click tray") << int(QSystemTrayIcon::Trigger) << true << 0;
        QTest::newRow("click, single-click tray") << int(QSystemTrayIcon::Trigger) << false << 515;
        QTest::newRow("context") << int(QSystemTrayIcon::Context) << false << 517;
        QTest::newRow("middle") << int(QSystemTrayIcon::MiddleClick) << false << 0;
    }
    void activationsBecomeMouseMessages() {
        QFETCH(int, reason);
        QFETCH(bool, reportsDoubleClicks);
        QFETCH(int, message);
        QCOMPARE(SystemTrayIcon::mouseMessageFor(QSystemTrayIcon::ActivationReason(reason),
                                                 reportsDoubleClicks),
                 message);
    }

    void platformPiecesAreQuietWithoutDevices() {
        SystemTrayIcon tray;
        QCOMPARE(tray.isAvailable(), QSystemTrayIcon::isSystemTrayAvailable());
        ModuleTrayIcon::setTrayIcon(&tray);
        ModuleTrayIcon::TrayAdd(AppIcons::programIcon(), QStringLiteral("服务器监控系统"));
        ModuleTrayIcon::TrayBalloon(QStringLiteral("text"), QStringLiteral("title"));
        ModuleTrayIcon::TrayRemove();
        EffectSoundPlayer player;
        player.play(QDir::temp().filePath(QStringLiteral("no-such-sound.wav")));
        QVERIFY(player.findChildren<QSoundEffect*>().isEmpty());
    }

    void shippedIconsAndSoundArePresent() {
        const auto pictures = AppIcons::Picture1();
        for (const QIcon& icon : pictures)
            QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(pictures.at(1).cacheKey() != pictures.at(2).cacheKey());
        QFile wav(sourceFile(QStringLiteral("resources/Sound/NewMessage.wav")));
        QVERIFY(wav.open(QIODevice::ReadOnly));
        const QByteArray header = wav.read(12);
        QVERIFY(header.startsWith("RIFF") && header.endsWith("WAVE"));
        QVERIFY(wav.size() < 100 * 1024);
    }

    void styleSheetShapes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isStyleSheet");
        QTest::newRow("rule") << QStringLiteral("QWidget { color: red; }") << true;
        QTest::newRow("braces in comments")
            << QStringLiteral("/* { */ QLabel { color: blue; } /* } */") << true;
        QTest::newRow("brace in string")
            << QStringLiteral("QLabel { font-family: \"a}b\"; }") << true;
        QTest::newRow("plain text") << QStringLiteral("Read me first.\nThanks.") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("only a comment") << QStringLiteral("/* nothing */") << false;
        QTest::newRow("unclosed rule") << QStringLiteral("QWidget { color: red;") << false;
        QTest::newRow("unclosed comment") << QStringLiteral("QWidget {} /* x") << false;
        QTest::newRow("no selector") << QStringLiteral("{ color: red; }") << false;
        QTest::newRow("text after rules") << QStringLiteral("QWidget {} trailing") << false;
        QTest::newRow("nested") << QStringLiteral("QWidget { QLabel { } }") << false;
    }
    void styleSheetShapes() {
        QFETCH(QString, text);
        QFETCH(bool, isStyleSheet);
        QCOMPARE(StyleSheetSkinEngine::isStyleSheet(text), isStyleSheet);
    }

    void skinFilesApplyOrChangeNothing_data() {
        QTest::addColumn<QByteArray>("contents"); // empty: no file at all
        QTest::addColumn<bool>("applies");
        QTest::newRow("style sheet") << QByteArray("QPushButton { color: #123456; }") << true;
        QTest::newRow("missing file") << QByteArray() << false;
        QTest::newRow("readme") << QByteArray("This folder holds skins.") << false;
        QTest::newRow("not UTF-8") << QByteArray("QLabel { font-family: \"\xb7\xfe\"; }") << false;
        QTest::newRow("zero byte") << QByteArray("QLabel { }\0", 11) << false;
        QTest::newRow("oversized")
            << QByteArray("QLabel { }") + QByteArray(StyleSheetSkinEngine::MaxSkinBytes, ' ')
            << false;
    }
    void skinFilesApplyOrChangeNothing() {
        QFETCH(QByteArray, contents);
        QFETCH(bool, applies);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("test.she"));
        if (!contents.isEmpty())
            writeFile(path, contents);
        StyleSheetSkinEngine engine;
        const QString before = QStringLiteral("QLabel { color: #654321; }");
        qApp->setStyleSheet(before);
        QCOMPARE(engine.attachFile(path), applies);
        QVERIFY(!engine.attachFile(dir.path())); // a folder is no skin
        QCOMPARE(qApp->styleSheet(), applies ? QString::fromUtf8(contents) : before);
        engine.attachDefault();
        QVERIFY(qApp->styleSheet().isEmpty());
    }

    // Every shipped skin applies and leaves the rows' own red and green
    // backgrounds alone: no rule styles the items of a view.
    void shippedSkinsApply() {
        const QDir skins(sourceFile(QStringLiteral("resources/Skin")));
        const QStringList files = skins.entryList(QDir::Files);
        QVERIFY(files.contains(QStringLiteral("skinh.she")));
        QVERIFY(files.size() >= 4);
        const QRegularExpression itemRule(QStringLiteral(R"((View|^|[\s,{}])\s*::item)"));
        StyleSheetSkinEngine engine;
        for (const QString& name : files) {
            QVERIFY2(engine.attachFile(skins.filePath(name)), qPrintable(name));
            QVERIFY2(!qApp->styleSheet().contains(itemRule), qPrintable(name));
        }
        engine.attachDefault();
    }

private:
    // Which element of Picture1 the tray shows, -1 for none of them.
    int shownElement() const {
        for (int i = 0; i < 3; ++i) {
            if (m_tray->icon.cacheKey() == m_pictures.at(i).cacheKey())
                return i;
        }
        return -1;
    }

    const AlertNotifier::Pictures m_pictures{solidIcon(Qt::blue), solidIcon(Qt::red),
                                             solidIcon(Qt::yellow)};
    MonitorSettings m_settings;
    LoggingSound m_sound;
    std::unique_ptr<FakeTrayIcon> m_tray;
    std::unique_ptr<AlertNotifier> m_notifier;
};

QTEST_MAIN(TestNotifications)
#include "tst_notifications.moc"
