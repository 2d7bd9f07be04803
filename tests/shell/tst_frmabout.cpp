#include "FakeProcessStarter.h"
#include "platform/SysInfoLocator.h"
#include "platform/gui/AppIcons.h"
#include "platform/gui/MessageBoxes.h"
#include "shell/AppSetup.h"
#include "shell/frmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTest>

namespace {

class FixedSysInfoLocator final : public SysInfoLocator {
public:
    QString locate() const override { return path; }
    QString path;
};

// Finds every program, starts none.
class FailingProcessStarter final : public ProcessStarter {
public:
    QString findExecutable(const QString& name) const override { return name; }
    bool startDetached(const QString&, const QStringList&) override { return false; }
};

} // namespace

class TestFrmAbout final : public QObject {
    Q_OBJECT
private slots:
    void texts() {
        FixedSysInfoLocator locator;
        FakeProcessStarter starter;
        frmAbout box(locator, starter);
        const auto label = [&](const char* name) {
            return box.findChild<QLabel*>(QLatin1String(name))->text();
        };
        const auto button = [&](const char* name) {
            return box.findChild<QPushButton*>(QLatin1String(name))->text();
        };
        QCOMPARE(box.windowTitle(), QStringLiteral("关于 青岚服务器监控"));
        QCOMPARE(label("lblTitle"), QStringLiteral("青岚服务器监控"));
        QCOMPARE(label("lblVersion"), QStringLiteral("版本 1.0.28"));
        QCOMPARE(label("lblDisclaimer"), frmAbout::disclaimerText());
        QVERIFY(label("lblDisclaimer").contains(QStringLiteral("GPL-3.0-or-later")));
        QCOMPARE(button("cmdOK"), QStringLiteral("确定"));
        QCOMPARE(button("cmdSysInfo"), QStringLiteral("系统信息(&S)..."));
    }

    // The program sets its icon once for the whole application; the box
    // shows it, not a generic picture of its own.
    void showsTheProgramIcon() {
        AppSetup::configure();
        FixedSysInfoLocator locator;
        FakeProcessStarter starter;
        frmAbout box(locator, starter);
        const QImage shown = box.findChild<QLabel*>(QStringLiteral("picIcon"))->pixmap().toImage();
        QVERIFY(!shown.isNull());
        QCOMPARE(shown, AppIcons::programIcon().pixmap(48, 48).toImage());
        QVERIFY(shown != box.style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48).toImage());
        QCOMPARE(box.windowIcon().pixmap(32).toImage(),
                 AppIcons::programIcon().pixmap(32).toImage());
        QVERIFY(!QApplication::quitOnLastWindowClosed());
        QApplication::setWindowIcon(QIcon());
        QApplication::setQuitOnLastWindowClosed(true);
    }

    void systemInformation_data() {
        QTest::addColumn<QString>("located");
        QTest::addColumn<bool>("startFails");
        QTest::newRow("program found") << "/usr/bin/hardinfo" << false;
        QTest::newRow("none found") << "" << false;
        QTest::newRow("found but does not start") << "/usr/bin/hardinfo" << true;
    }
    void systemInformation() {
        QFETCH(QString, located);
        QFETCH(bool, startFails);
        MessageBoxes::setTestMode(true);
        FixedSysInfoLocator locator;
        locator.path = located;
        FakeProcessStarter fake;
        FailingProcessStarter failing;
        frmAbout box(locator, startFails ? static_cast<ProcessStarter&>(failing) : fake);
        QTest::mouseClick(box.findChild<QPushButton*>(QStringLiteral("cmdSysInfo")),
                          Qt::LeftButton);
        const auto shown = MessageBoxes::takeShown();
        MessageBoxes::setTestMode(false);
        const bool started = !located.isEmpty() && !startFails;
        QCOMPARE(fake.starts.size(), started ? 1 : 0);
        if (started)
            QCOMPARE(fake.starts.first().program, located);
        QCOMPARE(shown.size(), started ? 0 : 1);
        if (!started) {
            QCOMPARE(shown.first().text, QStringLiteral("此时系统信息不可用"));
            QCOMPARE(shown.first().title, QStringLiteral("青岚服务器监控"));
        }
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
