#include "CatalogueTestSupport.h"
#include "catalogue/MaintenanceCatalogue.h"
#include "catalogue/ui/FormMaintenance.h"
#include "catalogue/ui/FormMaintenanceEdit.h"
#include "platform/gui/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

class TestFormMaintenance final : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBoxes::setTestMode(true); }
    void cleanup() { MessageBoxes::setTestMode(false); }

    // A once window typed in a zone is stored as the UTC instants it names
    // there, whatever the process's zone.
    void onceWindowInItsZone_data() {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("start"); // local, in zone
        QTest::addColumn<QString>("startUtc");
        QTest::newRow("Berlin summer") << "Europe/Berlin"
                                       << "2026-07-01 02:00"
                                       << "2026-07-01T00:00:00Z";
        QTest::newRow("New York winter") << "America/New_York"
                                         << "2026-01-05 02:00"
                                         << "2026-01-05T07:00:00Z";
        QTest::newRow("Shanghai") << "Asia/Shanghai"
                                  << "2026-01-05 08:00"
                                  << "2026-01-05T00:00:00Z";
    }
    void onceWindowInItsZone() {
        QFETCH(QString, zone);
        QFETCH(QString, start);
        QFETCH(QString, startUtc);
        TemporaryCatalogue catalogue;
        FormMaintenanceEdit form(MaintenanceWindow{}, {7, 9});
        QVERIFY(form.OptSelected->isChecked());
        QCOMPARE(form.OptSelected->text(), QStringLiteral("选中的服务器(2台)"));
        form.ComboTimeZone->setCurrentIndex(form.ComboTimeZone->findText(zone));
        const QDateTime local = QDateTime::fromString(start, "yyyy-MM-dd HH:mm");
        form.TextStart->setDateTime(local);
        form.TextEnd->setDateTime(local.addSecs(3600));
        form.TextNote->setText("换硬盘");
        form.CmdSave->click();
        QCOMPARE(form.result(), int(QDialog::Accepted));
        const QList<MaintenanceWindow> stored = MaintenanceCatalogue::SelectWindows();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().servers, (QList<qint64>{7, 9}));
        QCOMPARE(stored.first().timeZone, zone.toLatin1());
        QCOMPARE(stored.first().startUtcMs,
                 QDateTime::fromString(startUtc, Qt::ISODate).toMSecsSinceEpoch());
        QCOMPARE(stored.first().endUtcMs - stored.first().startUtcMs, 3600 * 1000);
        QCOMPARE(stored.first().note, QStringLiteral("换硬盘"));
    }

    // A weekly window over all servers, edited and listed; bad fields are
    // refused before anything is stored.
    void weeklyWindowListedAndRefusals() {
        TemporaryCatalogue catalogue;
        {
            FormMaintenanceEdit form(MaintenanceWindow{}, {});
            QVERIFY(form.OptAll->isChecked() && !form.OptSelected->isEnabled());
            form.ComboKind->setCurrentIndex(1);
            form.CmdSave->click();
            QCOMPARE(MessageBoxes::takeShown().value(0).text, QStringLiteral("请至少选择一天！"));
            QVERIFY(MaintenanceCatalogue::SelectWindows().isEmpty());
            form.CheckDays.at(0)->setChecked(true);
            form.CheckDays.at(6)->setChecked(true);
            form.TextStartTime->setTime(QTime(23, 30));
            form.SpinMinutes->setValue(90);
            form.ComboTimeZone->setCurrentIndex(form.ComboTimeZone->findText("UTC"));
            form.CmdSave->click();
            QCOMPARE(form.result(), int(QDialog::Accepted));
        }
        const MaintenanceWindow stored = MaintenanceCatalogue::SelectWindows().value(0);
        QVERIFY(stored.servers.isEmpty());
        QCOMPARE(stored.kind, MaintenanceWindow::Kind::Weekly);
        QCOMPARE(stored.days, 1 | 64);
        QCOMPARE(stored.startTime, QTime(23, 30));
        QCOMPARE(stored.minutes, 90);
        FormMaintenance list({});
        QCOMPARE(list.windowTitle(), QStringLiteral("维护计划"));
        QCOMPARE(list.LstWindows->topLevelItemCount(), 1);
        QCOMPARE(list.LstWindows->topLevelItem(0)->text(0),
                 QStringLiteral("每周一日 23:30 起 90 分钟"));
        QCOMPARE(list.LstWindows->topLevelItem(0)->text(2), QStringLiteral("全部"));

        FormMaintenanceEdit once(MaintenanceWindow{}, {});
        once.TextEnd->setDateTime(once.TextStart->dateTime());
        once.CmdSave->click();
        QCOMPARE(MessageBoxes::takeShown().value(0).text,
                 QStringLiteral("结束时间必须晚于开始时间！"));
        QCOMPARE(MaintenanceCatalogue::SelectWindows().size(), 1);

        list.LstWindows->setCurrentItem(list.LstWindows->topLevelItem(0));
        list.CmdDel->click();
        QCOMPARE(list.LstWindows->topLevelItemCount(), 0);
        QVERIFY(MaintenanceCatalogue::SelectWindows().isEmpty());
    }
};

QTEST_MAIN(TestFormMaintenance)
#include "tst_formmaintenance.moc"
