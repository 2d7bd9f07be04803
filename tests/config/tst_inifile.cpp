#include "config/IniFile.h"
#include "config/ModuleINI.h"
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

} // namespace

class TestIniFile final : public QObject {
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

    void pathIsTheBaseNameInTheProgramFolder() {
        QCOMPARE(ModuleINI::IniFilePath(QStringLiteral("RodOdazuConfig")),
                 m_dir.path() + QStringLiteral("/RodOdazuConfig.ini"));
        QCOMPARE(m_path, m_dir.path() + QStringLiteral("/RodOdazuConfig.ini"));
    }

    void reads_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("expected");

        QTest::newRow("exact") << QByteArray("[SETTING]\nITIMERN=30\n") << "SETTING"
                               << "ITIMERN" << true << "30";
        QTest::newRow("any case") << QByteArray("[setting]\nitimern=30\n") << "Setting"
                                  << "ITimerN" << true << "30";
        QTest::newRow("blanks trimmed")
            << QByteArray("  [ SETTING ]\n  ITIMERN =  45 \t\n") << "SETTING"
            << "ITIMERN" << true << "45";
        QTest::newRow("number blank skipped")
            << QByteArray("[SETTING]\nLSTRESULT1= 1000\n") << "SETTING"
            << "LSTRESULT1" << true << "1000";
        QTest::newRow("value with equals") << QByteArray("[A]\nK=a=b\n") << "A"
                                           << "K" << true << "a=b";
        QTest::newRow("empty value") << QByteArray("[A]\nK=\n") << "A"
                                     << "K" << true << "";
        QTest::newRow("first of two") << QByteArray("[A]\nK=1\nK=2\n") << "A"
                                      << "K" << true << "1";
        QTest::newRow("crlf") << QByteArray("[A]\r\nK=v\r\n") << "A"
                              << "K" << true << "v";
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[A]\nK=v\n") << "A"
                                         << "K" << true << "v";
        QTest::newRow("utf-8") << QByteArray("[SETUP]\nSKIN=深色.she\n") << "SETUP"
                               << "SKIN" << true << QStringLiteral("深色.she");
        QTest::newRow("other section") << QByteArray("[A]\nK=1\n[B]\nX=2\n") << "B"
                                       << "K" << false << "";
        QTest::newRow("comment") << QByteArray("[A]\n;K=1\n#K=2\n") << "A"
                                 << "K" << false << "";
        QTest::newRow("before any section") << QByteArray("K=1\n[A]\n") << "A"
                                            << "K" << false << "";
        QTest::newRow("empty file") << QByteArray() << "A"
                                    << "K" << false << "";
    }

    void reads() {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(bool, found);
        QFETCH(QString, expected);
        writeAll(m_path, content);
        const std::optional<QString> value = IniFile(m_path).value(section, key);
        QCOMPARE(value.has_value(), found);
        if (found)
            QCOMPARE(*value, expected);
    }

    void writes_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("created on first write")
            << false << QByteArray() << "SETUP"
            << "SKIN"
            << "skinh.she" << QByteArray("[SETUP]\nSKIN=skinh.she\n");
        QTest::newRow("replaced in place, others kept")
            << true << QByteArray("; top\n[A]\nX=1\nK=old\nY=2\n\n[B]\nK=b\n") << "a"
            << "k"
            << "new" << QByteArray("; top\n[A]\nX=1\nK=new\nY=2\n\n[B]\nK=b\n");
        QTest::newRow("added at the end of its section")
            << true << QByteArray("[A]\nX=1\n\n[B]\nY=2\n") << "A"
            << "K"
            << "v" << QByteArray("[A]\nX=1\nK=v\n\n[B]\nY=2\n");
        QTest::newRow("new section after a last line without newline")
            << true << QByteArray("[A]\nX=1") << "B"
            << "K"
            << "v" << QByteArray("[A]\nX=1\n[B]\nK=v\n");
        QTest::newRow("crlf kept") << true << QByteArray("[A]\r\nX=1\r\n") << "A"
                                   << "K"
                                   << "v" << QByteArray("[A]\r\nX=1\r\nK=v\r\n");
        QTest::newRow("value written as given")
            << true << QByteArray("[SETTING]\n") << "SETTING"
            << "LSTRESULT1"
            << " 1000" << QByteArray("[SETTING]\nLSTRESULT1= 1000\n");
        QTest::newRow("foreign bytes on other lines kept")
            << true << QByteArray("[A]\nN=\xC4\xE3\xBA\xC3\nK=1\n") << "A"
            << "K"
            << "2" << QByteArray("[A]\nN=\xC4\xE3\xBA\xC3\nK=2\n");
        QTest::newRow("utf-8 value")
            << true << QByteArray("[SETUP]\nSKIN=a\n") << "SETUP"
            << "SKIN" << QStringLiteral("高对比.she") << QByteArray("[SETUP]\nSKIN=高对比.she\n");
    }

    void writes() {
        QFETCH(bool, exists);
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        if (exists)
            writeAll(m_path, before);
        IniFile file(m_path);
        QVERIFY(file.setValue(section, key, value));
        QCOMPARE(readAll(m_path), after);
        QCOMPARE(file.value(section, key), std::optional<QString>(value.trimmed()));
        // No temporary file is left beside the settings file.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void refusedWritesChangeNothing_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");

        QTest::newRow("line break in value") << "A"
                                             << "K"
                                             << "x\n[B]\nY=1";
        QTest::newRow("carriage return in value") << "A"
                                                  << "K"
                                                  << "x\ry";
        QTest::newRow("equals in key") << "A"
                                       << "K=1"
                                       << "x";
        QTest::newRow("key like a section") << "A"
                                            << "[B]"
                                            << "x";
        QTest::newRow("empty key") << "A"
                                   << " "
                                   << "x";
        QTest::newRow("bracket in section") << "A]"
                                            << "K"
                                            << "x";
        QTest::newRow("empty section") << ""
                                       << "K"
                                       << "x";
    }

    void refusedWritesChangeNothing() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QByteArray before("[A]\nK=1\n");
        writeAll(m_path, before);
        QVERIFY(!IniFile(m_path).setValue(section, key, value));
        QCOMPARE(readAll(m_path), before);
    }

    void batchIsAllOrNothing() {
        const QByteArray before("[A]\nK=1\n");
        writeAll(m_path, before);
        IniFile file(m_path);
        QVERIFY(!file.setValues({{"A", "K", "2"}, {"A", "L", "bad\nvalue"}}));
        QCOMPARE(readAll(m_path), before);
        QVERIFY(file.setValues({{"A", "K", "2"}, {"B", "L", "3"}}));
        QCOMPARE(readAll(m_path), QByteArray("[A]\nK=2\n[B]\nL=3\n"));
    }

    void unreadableFileIsNeverOverwritten() {
        // A folder in the file's place exists but cannot be read as a file.
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("RodOdazuConfig.ini")));
        writeAll(m_path + "/keep", "x");
        IniFile file(m_path);
        QVERIFY(!file.value("A", "K").has_value());
        QVERIFY(!file.setValue("A", "K", "1"));
        QVERIFY(QFileInfo(m_path).isDir());
        QVERIFY(QFileInfo::exists(m_path + "/keep"));
        QVERIFY(QDir(m_path).removeRecursively());
    }

    void writeIntoMissingFolderReportsFailure() {
        IniFile file(m_dir.path() + "/missing/settings.ini");
        QVERIFY(!file.setValue("A", "K", "1"));
        QVERIFY(!QFileInfo::exists(m_dir.path() + "/missing"));
    }

    void readStringRepairsAbsentAndEmpty_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("no file") << QByteArray() << "skinh.she"
                                 << QByteArray("[SETUP]\nSKIN=skinh.she\n");
        QTest::newRow("empty entry") << QByteArray("[SETUP]\nSKIN=\n") << "skinh.she"
                                     << QByteArray("[SETUP]\nSKIN=skinh.she\n");
        QTest::newRow("blank entry") << QByteArray("[SETUP]\nSKIN=   \n") << "skinh.she"
                                     << QByteArray("[SETUP]\nSKIN=skinh.she\n");
        QTest::newRow("present") << QByteArray("[setup]\nskin=dark.qss\n") << "dark.qss"
                                 << QByteArray("[setup]\nskin=dark.qss\n");
    }

    void readStringRepairsAbsentAndEmpty() {
        QFETCH(QByteArray, before);
        QFETCH(QString, expected);
        QFETCH(QByteArray, after);
        if (!before.isEmpty())
            writeAll(m_path, before);
        QCOMPARE(ModuleINI::IniReadString("SETUP", "SKIN", "skinh.she"), expected);
        QCOMPARE(readAll(m_path), after);
    }

    void readStringCutsLongValuesOnCharacterBoundaries_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");

        QTest::newRow("143 bytes whole") << QString(143, 'a') << QString(143, 'a');
        QTest::newRow("ascii cut") << QString(150, 'a') << QString(143, 'a');
        // Three bytes a character: 47 whole characters fit in 143 bytes.
        QTest::newRow("no broken character")
            << QString(50, QChar(0x76AE)) << QString(47, QChar(0x76AE));
    }

    void readStringCutsLongValuesOnCharacterBoundaries() {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        QVERIFY(ModuleINI::IniWriteString("SETUP", "SKIN", stored));
        QCOMPARE(ModuleINI::IniReadString("SETUP", "SKIN", "skinh.she"), expected);
    }

    void readInt_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint32>("expected");

        QTest::newRow("plain") << QByteArray("N=30") << 30;
        QTest::newRow("leading blank") << QByteArray("N= 1000") << 1000;
        QTest::newRow("negative") << QByteArray("N=-5") << -5;
        QTest::newRow("leading digits") << QByteArray("N=12abc") << 12;
        QTest::newRow("fraction") << QByteArray("N=2.5") << 2;
        QTest::newRow("no digits") << QByteArray("N=abc") << 0;
        QTest::newRow("beyond 16 bits") << QByteArray("N=45000") << 45000;
        QTest::newRow("largest") << QByteArray("N=2147483647") << 2147483647;
        QTest::newRow("beyond 32 bits") << QByteArray("N=2147483648") << 7;
        QTest::newRow("empty") << QByteArray("N=") << 7;
        QTest::newRow("missing") << QByteArray("M=1") << 7;
    }

    void readInt() {
        QFETCH(QByteArray, line);
        QFETCH(qint32, expected);
        const QByteArray content = "[SETTING]\n" + line + "\n";
        writeAll(m_path, content);
        QCOMPARE(ModuleINI::IniReadInt("setting", "n", 7), expected);
        QCOMPARE(readAll(m_path), content);
    }

    void readIntWithoutFileGivesDefaultAndWritesNothing() {
        QCOMPARE(ModuleINI::IniReadInt("SETTING", "ITIMERN", 30), 30);
        QVERIFY(!QFileInfo::exists(m_path));
    }

    void writeNumberPutsBlankBeforeNonNegative_data() {
        QTest::addColumn<qint32>("number");
        QTest::addColumn<QByteArray>("line");

        QTest::newRow("positive") << 1000 << QByteArray("LSTRESULT1= 1000");
        QTest::newRow("zero") << 0 << QByteArray("LSTRESULT1= 0");
        QTest::newRow("negative") << -5 << QByteArray("LSTRESULT1=-5");
    }

    void writeNumberPutsBlankBeforeNonNegative() {
        QFETCH(qint32, number);
        QFETCH(QByteArray, line);
        QVERIFY(ModuleINI::IniWriteNumber("SETTING", "LSTRESULT1", number));
        QCOMPARE(readAll(m_path), "[SETTING]\n" + line + "\n");
        QCOMPARE(ModuleINI::IniReadInt("SETTING", "LSTRESULT1", 1), number);
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
