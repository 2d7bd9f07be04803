#include "FakeProcessStarter.h"
#include "platform/SysInfoLocator.h"
#include "platform/gui/MessageBoxes.h"
#include "shell/frmAbout.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

class FixedSysInfoLocator final : public SysInfoLocator {
public:
    explicit FixedSysInfoLocator(QString path)
        : m_path(std::move(path)) {}
    QString locate() const override { return m_path; }

private:
    QString m_path;
};

// A program that is found but refuses to start.
class FailingProcessStarter final : public ProcessStarter {
public:
    QString findExecutable(const QString& name) const override { return name; }
    bool startDetached(const QString&, const QStringList&) override { return false; }
};

QString textOf(const QWidget& box, const char* name) {
    if (const auto* label = box.findChild<QLabel*>(QLatin1String(name)))
        return label->text();
    if (const auto* button = box.findChild<QPushButton*>(QLatin1String(name)))
        return button->text();
    return QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

} // namespace

class TestFrmAbout final : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBoxes::setTestMode(true); }
    void cleanup() { MessageBoxes::setTestMode(false); }

    void texts() {
        FixedSysInfoLocator locator({});
        FakeProcessStarter starter;
        frmAbout box(locator, starter);
        QCOMPARE(box.windowTitle(), QStringLiteral("关于 青岚服务器监控"));
        QCOMPARE(textOf(box, "lblTitle"), QStringLiteral("青岚服务器监控"));
        QCOMPARE(textOf(box, "lblVersion"), QStringLiteral("版本 1.0.28"));
        QCOMPARE(textOf(box, "cmdOK"), QStringLiteral("确定"));
        QCOMPARE(textOf(box, "cmdSysInfo"), QStringLiteral("系统信息(&S)..."));
        QVERIFY(!textOf(box, "lblDescription").isEmpty());
        QVERIFY(!textOf(box, "lblDisclaimer").isEmpty());
    }

    void okCloses() {
        FixedSysInfoLocator locator({});
        FakeProcessStarter starter;
        frmAbout box(locator, starter);
        box.show();
        QTest::mouseClick(box.findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QVERIFY(!box.isVisible());
        QCOMPARE(box.result(), int(QDialog::Accepted));
    }

    void systemInformation_data() {
        QTest::addColumn<QString>("located");
        QTest::addColumn<bool>("startFails");
        QTest::addColumn<bool>("started");
        QTest::newRow("program found") << "/usr/bin/hardinfo" << false << true;
        QTest::newRow("none found") << "" << false << false;
        QTest::newRow("found but does not start") << "/usr/bin/hardinfo" << true << false;
    }
    void systemInformation() {
        QFETCH(QString, located);
        QFETCH(bool, startFails);
        QFETCH(bool, started);
        FixedSysInfoLocator locator(located);
        FakeProcessStarter fake;
        FailingProcessStarter failing;
        ProcessStarter& starter = startFails ? static_cast<ProcessStarter&>(failing) : fake;
        frmAbout box(locator, starter);
        QTest::mouseClick(box.findChild<QPushButton*>(QStringLiteral("cmdSysInfo")),
                          Qt::LeftButton);
        const auto shown = MessageBoxes::takeShown();
        if (started) {
            QVERIFY(shown.isEmpty());
            QCOMPARE(fake.starts.size(), 1);
            QCOMPARE(fake.starts.first().program, located);
            QVERIFY(fake.starts.first().arguments.isEmpty());
        } else {
            QVERIFY(fake.starts.isEmpty());
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown.first().text, QStringLiteral("此时系统信息不可用"));
        }
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
