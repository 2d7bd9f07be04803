#include "ConfigTestFiles.h"
#include "FileSizeLimit.h"
#include "config/IniFile.h"
#include "config/ModuleINI.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QTemporaryDir>

class TestIniFile final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void init() {
        AppPaths::setCurrent(AppPaths::portableIn(m_dir.path()));
        m_path = ModuleINI::IniFilePath(ModuleINI::IniBaseName());
        QCOMPARE(m_path, m_dir.path() + "/RodOdazuConfig.ini");
        QFile::remove(m_path);
    }

    void reads_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected"); // null: not found
        QTest::newRow("any case, blanks") << QByteArray(" [ setting ]\n itimern =  45 \n") << "45";
        QTest::newRow("bom, crlf") << QByteArray("\xEF\xBB\xBF[SETTING]\r\nITIMERN=v\r\n") << "v";
        QTest::newRow("other section") << QByteArray("[A]\nITIMERN=1\n[SETTING]\n") << QString();
        QTest::newRow("comment") << QByteArray("[SETTING]\n;ITIMERN=1\n") << QString();
    }

    void reads() {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        writeAll(m_path, content);
        const std::optional<QString> value = IniFile(m_path).value("SETTING", "ITIMERN");
        QCOMPARE(value.has_value(), !expected.isNull());
        QCOMPARE(value.value_or(QString()), expected);
    }

    void writes_data() {
        QTest::addColumn<QByteArray>("before"); // null: no file
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after"); // null: refused, file unchanged
        QTest::newRow("created") << QByteArray() << "SKIN"
                                 << "皮肤.she" << QByteArray("[SETUP]\nSKIN=皮肤.she\n");
        QTest::newRow("in place, rest kept")
            << QByteArray("; c\n[setup]\nX=1\nskin=a\n\n[B]\nSKIN=b\n") << "Skin"
            << " 1" << QByteArray("; c\n[setup]\nX=1\nskin= 1\n\n[B]\nSKIN=b\n");
        QTest::newRow("end of section") << QByteArray("[SETUP]\nX=1\n\n[B]\n") << "K"
                                        << "v" << QByteArray("[SETUP]\nX=1\nK=v\n\n[B]\n");
        QTest::newRow("new section") << QByteArray("[A]\nX=1") << "K"
                                     << "v" << QByteArray("[A]\nX=1\n[SETUP]\nK=v\n");
        QTest::newRow("crlf, foreign bytes kept")
            << QByteArray("[SETUP]\r\nN=\xC4\xE3\r\n") << "K"
            << "v" << QByteArray("[SETUP]\r\nN=\xC4\xE3\r\nK=v\r\n");
        QTest::newRow("line break refused") << QByteArray("[SETUP]\n") << "K"
                                            << "x\n[B]" << QByteArray();
    }

    void writes() {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            writeAll(m_path, before);
        QCOMPARE(IniFile(m_path).setValue("SETUP", key, value), !after.isNull());
        QCOMPARE(readAll(m_path), after.isNull() ? before : after);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
                 before.isNull() && after.isNull() ? 0 : 1);
    }

    void unreadableOrUnwritableIsNeverTouched() {
        // A folder in the file's place exists but cannot be read as a file.
        QVERIFY(QDir(m_dir.path()).mkpath("RodOdazuConfig.ini/keep"));
        QVERIFY(!IniFile(m_path).value("A", "K"));
        QVERIFY(!IniFile(m_path).setValues({{"A", "K", "1"}}));
        QVERIFY(QFileInfo(m_path + "/keep").isDir());
        QVERIFY(QDir(m_path).removeRecursively());
        QVERIFY(!IniFile(m_dir.path() + "/missing/x.ini").setValue("A", "K", "1"));
    }

    // A write that cannot finish (a full disk, here a file size limit)
    // leaves the file as it was and no temporary file beside it, whether the
    // bytes went through the write buffer or around it.
    void aFailedWriteKeepsTheFile_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("buffered") << QByteArray("[SETUP]\nSKIN=a.she\nITIMEOUT=10000\n");
        QTest::newRow("beyond the buffer")
            << "[SETUP]\nSKIN=a.she\nNOTE=" + QByteArray(64 * 1024, 'x') + "\n";
    }

    void aFailedWriteKeepsTheFile() {
        QFETCH(QByteArray, before);
        writeAll(m_path, before);
        {
            const FileSizeLimit full(8);
            QVERIFY(!IniFile(m_path).setValue("SETUP", "SKIN", "b.she"));
        }
        QCOMPARE(readAll(m_path), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"RodOdazuConfig.ini"});
    }

    void readStringRepairsAndCuts_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QByteArray>("after");
        const QString skin(50, QChar(0x76AE)); // 150 bytes of UTF-8
        QTest::newRow("no file") << QByteArray() << "skinh.she"
                                 << QByteArray("[SETUP]\nSKIN=skinh.she\n");
        QTest::newRow("blank") << QByteArray("[SETUP]\nSKIN= \n") << "skinh.she"
                               << QByteArray("[SETUP]\nSKIN=skinh.she\n");
        QTest::newRow("143 bytes, whole characters")
            << "[SETUP]\nSKIN=" + skin.toUtf8() << skin.left(47)
            << "[SETUP]\nSKIN=" + skin.toUtf8();
    }

    void readStringRepairsAndCuts() {
        QFETCH(QByteArray, before);
        QFETCH(QString, expected);
        QFETCH(QByteArray, after);
        if (!before.isEmpty())
            writeAll(m_path, before);
        QCOMPARE(ModuleINI::IniReadString("SETUP", "SKIN", "skinh.she"), expected);
        QCOMPARE(readAll(m_path), after);
    }

    void readInt_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint32>("expected");
        QTest::newRow("blank") << QByteArray("N= 1000") << 1000;
        QTest::newRow("leading digits") << QByteArray("N=2.5x") << 2;
        QTest::newRow("beyond 16 bits") << QByteArray("N=45000") << 45000;
        QTest::newRow("beyond 32 bits") << QByteArray("N=2147483648") << 7;
    }

    void readInt() {
        QFETCH(QByteArray, line);
        QFETCH(qint32, expected);
        writeAll(m_path, "[SETTING]\n" + line);
        QCOMPARE(ModuleINI::IniReadInt("setting", "n", 7), expected);
        QCOMPARE(readAll(m_path), "[SETTING]\n" + line);
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
