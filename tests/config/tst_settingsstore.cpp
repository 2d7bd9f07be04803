#include "config/ModuleINI.h"
#include "config/SettingsStore.h"
#include "config/SetupValues.h"
#include "config/SkinFolder.h"
#include "config/Twips.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

MainWindowLayout layoutOf(qint32 height, qint32 width, qint32 firstColumn) {
    MainWindowLayout layout{height, width, {}};
    for (int column = 0; column < MainWindowLayout::ColumnCount; ++column)
        layout.columnWidths.append(firstColumn + column);
    return layout;
}

} // namespace

class TestSettingsStore final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        setAppPathForTesting(m_dir.path());
        m_path = ModuleINI::IniFilePath(ModuleINI::IniBaseName());
        QFile::remove(m_path);
    }

    void defaultsWithoutFile() {
        MonitorSettings settings{0, 0, 0, 0, false, {}};
        const MainWindowLayout layout = SettingsStore::loadINI(settings);
        QCOMPARE(layout.height, Twips::fromPixelsY(600));
        QCOMPARE(layout.width, Twips::fromPixelsX(800));
        QCOMPARE(layout.columnWidths, QList<qint32>(MainWindowLayout::ColumnCount, 1000));
        QCOMPARE(settings.iTimerN, 30.0);
        QCOMPARE(settings.iReplyLim, 5);
        QCOMPARE(settings.iPingLim, 5);
        QCOMPARE(settings.bPlaySnd, true);
        QCOMPARE(settings.iTimeOut, 10000);
        QVERIFY(!QFileInfo::exists(m_path));
    }

    void storedValuesAre32Bit() {
        writeAll(m_path, "[SETTING]\nMAINHEIGHT=45000\nMAINWIDTH=60000\nITIMERN=40000\n"
                         "IREPLYLIM=70000\nIPINGLIM=0\nLSTRESULT13= 0\nLSTRESULT14= 5\n"
                         "[SETUP]\nPLAYSND=0\nITIMEOUT=3600000\n");
        MonitorSettings settings;
        const MainWindowLayout layout = SettingsStore::loadINI(settings);
        QCOMPARE(layout.height, 45000);
        QCOMPARE(layout.width, 60000);
        QCOMPARE(layout.columnWidths.constFirst(), 1000);
        QCOMPARE(layout.columnWidths.constLast(), 0);
        QCOMPARE(layout.columnWidths.size(), MainWindowLayout::ColumnCount);
        QCOMPARE(settings.iTimerN, 40000.0);
        QCOMPARE(settings.iReplyLim, 70000);
        QCOMPARE(settings.iPingLim, 0);
        QCOMPARE(settings.bPlaySnd, false);
        QCOMPARE(settings.iTimeOut, 3600000);
    }

    void saveWritesSizeOnlyInNormalState_data() {
        QTest::addColumn<bool>("normalState");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray columns = "LSTRESULT1= 100\nLSTRESULT2= 101\nLSTRESULT3= 102\n"
                                   "LSTRESULT4= 103\nLSTRESULT5= 104\nLSTRESULT6= 105\n"
                                   "LSTRESULT7= 106\nLSTRESULT8= 107\nLSTRESULT9= 108\n"
                                   "LSTRESULT10= 109\nLSTRESULT11= 110\nLSTRESULT12= 111\n"
                                   "LSTRESULT13= 112\n";
        QTest::newRow("normal") << true
                                << "[SETTING]\nMAINHEIGHT=45000\nMAINWIDTH=9000\nITIMERN= 30\n" +
                                       columns + "[SETUP]\nSKIN=skinh.she\n";
        QTest::newRow("maximised") << false
                                   << "[SETTING]\nMAINHEIGHT=1\nMAINWIDTH=2\nITIMERN= 30\n" +
                                          columns + "[SETUP]\nSKIN=skinh.she\n";
    }

    void saveWritesSizeOnlyInNormalState() {
        QFETCH(bool, normalState);
        QFETCH(QByteArray, expected);
        writeAll(m_path, "[SETTING]\nMAINHEIGHT=1\nMAINWIDTH=2\nITIMERN= 30\n[SETUP]\nSKIN=\n");
        MonitorSettings settings;
        QVERIFY(SettingsStore::SaveINI(layoutOf(45000, 9000, 100), normalState, settings));
        QCOMPARE(readAll(m_path), expected);
        QCOMPARE(settings.Skin, QStringLiteral("skinh.she"));
    }

    void saveThenLoadRestoresTheLayout() {
        // 3000 pixels at 96 dpi is beyond a 16-bit twips value.
        const MainWindowLayout saved = layoutOf(Twips::fromPixels(3000, 96), 12000, 1500);
        MonitorSettings settings;
        writeAll(m_path, "[SETUP]\nSKIN=dark.qss\n");
        QVERIFY(SettingsStore::SaveINI(saved, true, settings));
        QCOMPARE(settings.Skin, QStringLiteral("dark.qss"));
        const MainWindowLayout loaded = SettingsStore::loadINI(settings);
        QCOMPARE(loaded.height, 45000);
        QCOMPARE(loaded.width, saved.width);
        QCOMPARE(loaded.columnWidths, saved.columnWidths);
    }

    void saveReportsAFileItCannotWrite() {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("RodOdazuConfig.ini")));
        MonitorSettings settings;
        QVERIFY(!SettingsStore::SaveINI(layoutOf(1, 1, 1), true, settings));
        QVERIFY(QFileInfo(m_path).isDir());
        QVERIFY(QDir(m_path).removeRecursively());
    }

    void twipsRoundTrip_data() {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<qint32>("twips");

        QTest::newRow("96 dpi") << 96.0 << 800 << 12000;
        QTest::newRow("96 dpi beyond 16 bits") << 96.0 << 2185 << 32775;
        QTest::newRow("120 dpi") << 120.0 << 100 << 1200;
        QTest::newRow("144 dpi") << 144.0 << 7 << 70;
        QTest::newRow("109 dpi rounds") << 109.0 << 123 << 1625;
        QTest::newRow("no dpi falls back to 96") << 0.0 << 10 << 150;
        QTest::newRow("zero") << 96.0 << 0 << 0;
    }

    void twipsRoundTrip() {
        QFETCH(double, dpi);
        QFETCH(int, pixels);
        QFETCH(qint32, twips);
        QCOMPARE(Twips::fromPixels(pixels, dpi), twips);
        QCOMPARE(Twips::toPixels(twips, dpi), pixels);
    }

    void skinFilesListsEveryFileSorted() {
        const QString folder = m_dir.path() + "/Skin";
        QVERIFY(QDir(m_dir.path()).mkpath("Skin/sub"));
        QCOMPARE(SkinFolder::path(), folder + "/");
        QCOMPARE(SkinFolder::SkinFiles(folder), std::optional<QStringList>(QStringList{}));
        for (const char* name : {"b.she", "readme.txt", "A.qss", ".keep"})
            writeAll(folder + "/" + name, "x");
        QCOMPARE(SkinFolder::SkinFiles(SkinFolder::path()),
                 std::optional<QStringList>({"A.qss", "b.she", "readme.txt"}));
        QVERIFY(!SkinFolder::SkinFiles(m_dir.path() + "/missing").has_value());
        QVERIFY(!SkinFolder::SkinFiles(folder + "/b.she").has_value());
        QVERIFY(QDir(folder).removeRecursively());
    }

    void fieldValidation_data() {
        QTest::addColumn<QString>("timerN");
        QTest::addColumn<QString>("replyLim");
        QTest::addColumn<QString>("pingLim");
        QTest::addColumn<QString>("timeOut");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("timerNValue");
        QTest::addColumn<qint32>("timerNFile");

        QTest::newRow("ordinary") << "30"
                                  << "5"
                                  << "3"
                                  << "10000" << true << 30.0 << 30;
        QTest::newRow("blanks around") << " 30 "
                                       << "\t5"
                                       << "3 "
                                       << " 10000" << true << 30.0 << 30;
        QTest::newRow("half to even down") << "2.5"
                                           << "0"
                                           << "0"
                                           << "1" << true << 2.5 << 2;
        QTest::newRow("half to even up") << "3.5"
                                         << "5"
                                         << "5"
                                         << "3600000" << true << 3.5 << 4;
        QTest::newRow("interval 1") << "1"
                                    << "5"
                                    << "5"
                                    << "100" << true << 1.0 << 1;
        QTest::newRow("interval 1.4") << "1.4"
                                      << "5"
                                      << "5"
                                      << "100" << true << 1.4 << 1;
        QTest::newRow("trailing point") << "7."
                                        << "5"
                                        << "5"
                                        << "100" << true << 7.0 << 7;
        QTest::newRow("time-out beyond 16 bits") << "30"
                                                 << "5"
                                                 << "5"
                                                 << "60000" << true << 30.0 << 30;
        QTest::newRow("limits beyond 16 bits") << "30"
                                               << "40000"
                                               << "2147483647"
                                               << "100" << true << 30.0 << 30;
        QTest::newRow("interval empty") << ""
                                        << "5"
                                        << "5"
                                        << "100" << false << 0.0 << 0;
        QTest::newRow("interval letters") << "abc"
                                          << "5"
                                          << "5"
                                          << "100" << false << 0.0 << 0;
        QTest::newRow("interval below 1") << "0.9"
                                          << "5"
                                          << "5"
                                          << "100" << false << 0.0 << 0;
        QTest::newRow("interval negative") << "-30"
                                           << "5"
                                           << "5"
                                           << "100" << false << 0.0 << 0;
        QTest::newRow("interval trailing text") << "30s"
                                                << "5"
                                                << "5"
                                                << "100" << false << 0.0 << 0;
        QTest::newRow("interval exponent") << "1e3"
                                           << "5"
                                           << "5"
                                           << "100" << false << 0.0 << 0;
        QTest::newRow("interval beyond 32 bits") << "2147483648"
                                                 << "5"
                                                 << "5"
                                                 << "100" << false << 0.0 << 0;
        QTest::newRow("reply limit negative") << "30"
                                              << "-1"
                                              << "5"
                                              << "100" << false << 0.0 << 0;
        QTest::newRow("reply limit fraction") << "30"
                                              << "2.5"
                                              << "5"
                                              << "100" << false << 0.0 << 0;
        QTest::newRow("ping limit letters") << "30"
                                            << "5"
                                            << "x"
                                            << "100" << false << 0.0 << 0;
        QTest::newRow("ping limit beyond 32 bits") << "30"
                                                   << "5"
                                                   << "2147483648"
                                                   << "100" << false << 0.0 << 0;
        QTest::newRow("time-out zero") << "30"
                                       << "5"
                                       << "5"
                                       << "0" << false << 0.0 << 0;
        QTest::newRow("time-out above an hour") << "30"
                                                << "5"
                                                << "5"
                                                << "3600001" << false << 0.0 << 0;
        QTest::newRow("time-out fraction") << "30"
                                           << "5"
                                           << "5"
                                           << "1.5" << false << 0.0 << 0;
        QTest::newRow("time-out empty") << "30"
                                        << "5"
                                        << "5"
                                        << "" << false << 0.0 << 0;
    }

    void fieldValidation() {
        QFETCH(QString, timerN);
        QFETCH(QString, replyLim);
        QFETCH(QString, pingLim);
        QFETCH(QString, timeOut);
        QFETCH(bool, valid);
        QFETCH(double, timerNValue);
        QFETCH(qint32, timerNFile);
        QString error;
        const std::optional<SetupValues> values =
            SetupValues::parse({timerN, replyLim, pingLim, timeOut, true, "a.qss"}, error);
        QCOMPARE(values.has_value(), valid);
        QCOMPARE(error.isEmpty(), valid);
        if (!valid)
            return;
        QCOMPARE(values->timerN(), timerNValue);
        QCOMPARE(values->timerNForFile(), timerNFile);
        QCOMPARE(values->replyLim(), replyLim.trimmed().toInt());
        QCOMPARE(values->pingLim(), pingLim.trimmed().toInt());
        QCOMPARE(values->timeOut(), timeOut.trimmed().toInt());
    }

    void everyBadFieldIsNamed() {
        QString error;
        QVERIFY(!SetupValues::parse({"", "x", "-1", "0", true, "a\nb"}, error));
        QCOMPARE(error.split('\n').size(), 5);
    }
};

QTEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
