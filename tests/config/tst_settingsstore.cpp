#include "ConfigTestFiles.h"
#include "config/ModuleINI.h"
#include "config/SettingsStore.h"
#include "config/SetupValues.h"
#include "config/SkinFolder.h"
#include "config/Twips.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QTemporaryDir>

class TestSettingsStore final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void init() {
        AppPaths::setCurrent(AppPaths::portableIn(m_dir.path()));
        m_path = ModuleINI::IniFilePath(ModuleINI::IniBaseName());
        QFile::remove(m_path);
    }

    void defaultsWithoutFileWriteNothing() {
        MonitorSettings settings{0, 0, 0, 0, false, {}};
        const MainWindowLayout layout = SettingsStore::loadINI(settings);
        QCOMPARE(layout.height, Twips::fromPixelsY(600));
        QCOMPARE(layout.width, Twips::fromPixelsX(800));
        QCOMPARE(layout.columnWidths, QList<qint32>(MainWindowLayout::ColumnCount, 1000));
        QCOMPARE(settings.iTimerN, 30.0);
        QCOMPARE(settings.iReplyLim, 5);
        QCOMPARE(settings.iPingLim, 5);
        QVERIFY(settings.bPlaySnd);
        QCOMPARE(settings.iTimeOut, 10000);
        QCOMPARE(settings.History, 1);
        QCOMPARE(settings.HistRawDays, 7);
        QCOMPARE(settings.HistDays, 400);
        QVERIFY(settings.NetCheck.isEmpty());
        QVERIFY(settings.TlsCaFile.isEmpty());
        QVERIFY(!QFileInfo::exists(m_path));
    }

    void setupEntriesAreRead() {
        writeAll(m_path, "[SETUP]\nHISTORY=0\nHISTRAWDAYS=2\nHISTDAYS=30\n"
                         "NETCHECK= 10.0.0.1 gw:53 \nTLSCAFILE=/etc/ssl/本地 CA.pem\n");
        MonitorSettings settings;
        SettingsStore::loadINI(settings);
        QCOMPARE(settings.History, 0);
        QCOMPARE(settings.HistRawDays, 2);
        QCOMPARE(settings.HistDays, 30);
        QCOMPARE(settings.NetCheck, QStringLiteral("10.0.0.1 gw:53"));
        QCOMPARE(settings.TlsCaFile, QStringLiteral("/etc/ssl/本地 CA.pem"));
    }

    // Only every Nth raw result: at least 1 (every one), at most 1000.
    void histRawEveryReadWithinBounds_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<qint32>("every");
        QTest::newRow("missing: every result") << QByteArray("[SETUP]\nHISTORY=1\n") << 1;
        QTest::newRow("every 10th") << QByteArray("[SETUP]\nHISTRAWEVERY=10\n") << 10;
        QTest::newRow("zero reads as 1") << QByteArray("[SETUP]\nHISTRAWEVERY=0\n") << 1;
        QTest::newRow("negative reads as 1") << QByteArray("[SETUP]\nHISTRAWEVERY=-5\n") << 1;
        QTest::newRow("beyond the limit") << QByteArray("[SETUP]\nhistrawevery=99999\n") << 1000;
    }

    void histRawEveryReadWithinBounds() {
        QFETCH(QByteArray, file);
        QFETCH(qint32, every);
        writeAll(m_path, file);
        MonitorSettings settings;
        settings.HistRawEvery = 7;
        SettingsStore::loadINI(settings);
        QCOMPARE(settings.HistRawEvery, every);
    }

    void saveAndLoadKeep32BitValues_data() {
        QTest::addColumn<bool>("normalState");
        QTest::newRow("normal") << true;
        QTest::newRow("maximised") << false;
    }

    void saveAndLoadKeep32BitValues() {
        QFETCH(bool, normalState);
        writeAll(m_path, "[SETTING]\nMAINHEIGHT=1\nMAINWIDTH=2\nIREPLYLIM=70000\n"
                         "[SETUP]\nSKIN=\nITIMEOUT=3600000\nPLAYSND=0\n");
        // 3000 pixels at 96 dpi, beyond a 16-bit twips value.
        MainWindowLayout saved{Twips::fromPixels(3000, 96), 9000, {}};
        for (int column = 0; column < MainWindowLayout::ColumnCount; ++column)
            saved.columnWidths.append(100 + column);
        MonitorSettings settings;
        QVERIFY(SettingsStore::SaveINI(saved, normalState, settings));
        QCOMPARE(settings.Skin, QStringLiteral("skinh.she"));
        const QByteArray file = readAll(m_path);
        QVERIFY(file.contains("\nLSTRESULT1= 100\n") && file.contains("\nLSTRESULT13= 112\n"));
        QVERIFY(file.contains("\nSKIN=skinh.she\n"));
        QCOMPARE(file.contains("\nMAINHEIGHT=45000\nMAINWIDTH=9000\n"), normalState);

        const MainWindowLayout loaded = SettingsStore::loadINI(settings);
        QCOMPARE(loaded.height, normalState ? 45000 : 1);
        QCOMPARE(loaded.columnWidths, saved.columnWidths);
        QCOMPARE(settings.iReplyLim, 70000);
        QCOMPARE(settings.iTimeOut, 3600000);
        QVERIFY(!settings.bPlaySnd);
    }

    void twipsRoundTrip_data() {
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<qint32>("twips");
        QTest::newRow("96 dpi") << 96.0 << 800 << 12000;
        QTest::newRow("144 dpi") << 144.0 << 7 << 70;
        QTest::newRow("109 dpi rounds") << 109.0 << 123 << 1625;
    }

    void twipsRoundTrip() {
        QFETCH(double, dpi);
        QFETCH(int, pixels);
        QFETCH(qint32, twips);
        QCOMPARE(Twips::fromPixels(pixels, dpi), twips);
        QCOMPARE(Twips::toPixels(twips, dpi), pixels);
    }

    void skinFilesListsEveryFileSortedHiddenOnesToo() {
        const QString folder = AppPaths::current().userSkinFolder() + QLatin1Char('/');
        QCOMPARE(folder, m_dir.path() + "/Skin/");
        QVERIFY(!SkinFolder::SkinFiles(folder));
        QVERIFY(QDir(m_dir.path()).mkpath("Skin/sub"));
        QCOMPARE(SkinFolder::SkinFiles(folder), std::optional<QStringList>(QStringList()));
        for (const char* name : {"b.she", "readme.txt", "A.qss", ".keep"})
            writeAll(folder + name, "x");
        QCOMPARE(SkinFolder::SkinFiles(folder),
                 QStringList({".keep", "A.qss", "b.she", "readme.txt"}));
        QVERIFY(QDir(folder).removeRecursively());
    }

    void fieldValidation_data() {
        QTest::addColumn<QStringList>("texts"); // interval, two limits, time-out
        QTest::addColumn<double>("timerN");     // 0: rejected
        QTest::addColumn<qint32>("timerNFile");
        QTest::newRow("blanks around") << QStringList{" 30 ", "\t5", "3 ", "10000"} << 30.0 << 30;
        QTest::newRow("half to even up") << QStringList{"3.5", "0", "0", "3600000"} << 3.5 << 4;
        QTest::newRow("limit fraction") << QStringList{"30", "5", "2.5", "100"} << 0.0 << 0;
        QTest::newRow("beyond 16 bits") << QStringList{"1.4", "40000", "5", "60000"} << 1.4 << 1;
        QTest::newRow("interval empty") << QStringList{"", "5", "5", "100"} << 0.0 << 0;
        QTest::newRow("interval below 1") << QStringList{"0.9", "5", "5", "100"} << 0.0 << 0;
        QTest::newRow("limit negative") << QStringList{"30", "-1", "5", "100"} << 0.0 << 0;
        QTest::newRow("time-out zero") << QStringList{"30", "5", "5", "0"} << 0.0 << 0;
        QTest::newRow("time-out above an hour")
            << QStringList{"30", "5", "5", "3600001"} << 0.0 << 0;
    }

    void fieldValidation() {
        QFETCH(QStringList, texts);
        QFETCH(double, timerN);
        QFETCH(qint32, timerNFile);
        QString error;
        const auto values =
            SetupValues::parse({texts[0], texts[1], texts[2], texts[3], 1, "a"}, error);
        QCOMPARE(values.has_value(), timerN != 0);
        QCOMPARE(error.isEmpty(), timerN != 0);
        if (!values)
            return;
        QCOMPARE(values->timerN(), timerN);
        QCOMPARE(values->timerNForFile(), timerNFile);
        QCOMPARE(values->replyLim(), texts[1].trimmed().toInt());
        QCOMPARE(values->timeOut(), texts[3].toInt());
    }
};

QTEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
