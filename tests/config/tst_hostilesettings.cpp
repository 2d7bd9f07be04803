#include "ConfigTestFiles.h"
#include "config/ModuleINI.h"
#include "config/SettingsStore.h"
#include "config/ui/FormSetup.h"
#include "platform/AppPaths.h"
#include "platform/SkinEngine.h"
#include "platform/gui/MessageBoxes.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

class IgnoringSkinEngine final : public SkinEngine {
public:
    void attachDefault() override {}
    bool attachFile(const QString&) override { return true; }
};

QByteArray garbage(qsizetype size) {
    QRandomGenerator random(20240309);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    return bytes;
}

// The file after a write, without the written line: the file before it.
bool onlyLineAdded(const QByteArray& before, const QByteArray& after, const QByteArray& line) {
    for (const QByteArray end : {"\r\n", "\n", "\r"}) {
        QByteArray rest = after;
        const qsizetype at = rest.indexOf(line + end);
        if (at < 0)
            continue;
        rest.remove(at, line.size() + end.size());
        if (rest == before || rest == before + end)
            return true;
    }
    return false;
}

} // namespace

class TestHostileSettings final : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

    void useFolder(const QString& folder) {
        AppPaths::setCurrent(AppPaths::portableIn(folder));
        m_path = ModuleINI::IniFilePath(ModuleINI::IniBaseName());
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        useFolder(m_dir->path());
        MessageBoxes::setTestMode(true);
    }
    void cleanup() {
        QFile::setPermissions(m_dir->path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // A damaged file still gives its sound entries, loading writes nothing,
    // and a write adds its own line and changes no other byte.
    void damagedFileKeepsItsEntries_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint32>("interval");
        QTest::addColumn<qint32>("replyLimit");
        const QByteArray entries("[SETTING]\nITIMERN=45\nIREPLYLIM=7\n");
        QTest::newRow("binary garbage") << garbage(65536) + "\n" + entries << 45 << 7;
        QTest::newRow("4 MB line")
            << "[SETTING]\nITIMERN=45\nJUNK=" + QByteArray(4 << 20, 'x') + "\nIREPLYLIM=7\n"
            << 45 << 7;
        QTest::newRow("4 MB line without line end")
            << entries + "[" + QByteArray(4 << 20, '\xB0') << 45 << 7;
        QTest::newRow("section without closing bracket")
            << QByteArray("[SETTING]\nITIMERN=45\n[SETUP\nIREPLYLIM=7\n") << 45 << 7;
        QTest::newRow("closing bracket first")
            << QByteArray("]SETTING[\nITIMERN=1\n") + entries << 45 << 7;
        QTest::newRow("CR-only line ends")
            << QByteArray("[SETTING]\rITIMERN=45\rIREPLYLIM=7\r[SETUP]\rSKIN=a.she") << 45 << 7;
        QTest::newRow("NUL bytes") << QByteArray("[SETTING]\nITIMERN=4\0"
                                                 "5\n\0\0\0\nIREPLYLIM=7\n",
                                                 38)
                                   << 4 << 7;
        QTest::newRow("byte order mark in a key")
            << "\xEF\xBB\xBF" + entries + "\xEF\xBB\xBFIPINGLIM=3\n"
            << 45 << 7;
    }
    void damagedFileKeepsItsEntries() {
        QFETCH(QByteArray, content);
        QFETCH(qint32, interval);
        QFETCH(qint32, replyLimit);
        writeAll(m_path, content);
        MonitorSettings settings;
        SettingsStore::loadINI(settings);
        QCOMPARE(settings.iTimerN, interval);
        QCOMPARE(settings.iReplyLim, replyLimit);
        QCOMPARE(settings.iPingLim, 5);
        QCOMPARE(readAll(m_path), content);

        QVERIFY(ModuleINI::IniWriteNumber("SETTING", "IPINGLIM", 9));
        QCOMPARE(ModuleINI::IniReadInt("SETTING", "IPINGLIM", 0), 9);
        QVERIFY(onlyLineAdded(content, readAll(m_path), "IPINGLIM= 9"));

        const MainWindowLayout saved{9000, 12000, QList<qint32>(13, 1500)};
        QVERIFY(SettingsStore::SaveINI(saved, true, settings));
        MonitorSettings reloaded;
        const MainWindowLayout layout = SettingsStore::loadINI(reloaded);
        QCOMPARE(reloaded.iTimerN, interval);
        QCOMPARE(reloaded.iReplyLim, replyLimit);
        QCOMPARE(reloaded.iPingLim, 9);
        QCOMPARE(layout.height, saved.height);
        QCOMPARE(layout.columnWidths, saved.columnWidths);
    }

    // A file that cannot be written: reading gives what is there or the
    // defaults without waiting, every write reports failure, the dialog says
    // so and the running settings stay; nothing is created or replaced.
    void unwritableFile_data() {
        QTest::addColumn<QString>("place");
        QTest::newRow("missing folder") << "missing";
        QTest::newRow("folder where no file can be created") << "proc";
        QTest::newRow("read-only file") << "file";
        QTest::newRow("read-only folder") << "folder";
        QTest::newRow("named pipe in the file's place") << "pipe";
    }
    void unwritableFile() {
        QFETCH(QString, place);
        const QByteArray stored("[SETTING]\nITIMERN=45\n");
        const auto readOnly = QFile::ReadOwner | QFile::ExeOwner;
        if (place == "missing") {
            useFolder(m_dir->filePath("gone/deeper"));
        } else if (place == "proc") {
            useFolder("/proc/self");
        } else if (place == "pipe") {
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        } else {
            writeAll(m_path, stored);
            QVERIFY(QFile::setPermissions(place == "file" ? m_path : m_dir->path(), readOnly));
            QFile probe(place == "file" ? m_path : m_dir->filePath("probe"));
            if (probe.open(QIODevice::ReadWrite))
                QSKIP("running as root: file permissions do not keep root from writing");
        }
        const bool hasFile = place == "file" || place == "folder";

        MonitorSettings settings;
        SettingsStore::loadINI(settings);
        QCOMPARE(settings.iTimerN, hasFile ? 45 : 30);
        QCOMPARE(ModuleINI::IniReadString("SETUP", "SKIN", "skinh.she"),
                 QStringLiteral("skinh.she"));
        QVERIFY(!ModuleINI::IniWriteString("SETUP", "SKIN", "a.she"));
        QVERIFY(!ModuleINI::IniWriteNumber("SETTING", "ITIMERN", 5));
        QVERIFY(!SettingsStore::SaveINI({600, 800, QList<qint32>(13, 1000)}, true, settings));

        IgnoringSkinEngine skins;
        settings.iTimerN = 2.5;
        FormSetup form(settings, skins);
        form.show();
        form.TextTimerN->setText("60");
        QTest::mouseClick(form.CmdSave, Qt::LeftButton);
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("保存配置文件失败！"));
        QCOMPARE(settings.iTimerN, 2.5);

        QVERIFY(!QFile::exists(m_dir->filePath("gone")));
        if (place == "pipe") {
            QVERIFY(QFileInfo::exists(m_path) && !QFileInfo(m_path).isFile());
            return;
        }
        QCOMPARE(readAll(m_path), hasFile ? stored : QByteArray());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), hasFile ? 1 : 0);
    }
};

QTEST_MAIN(TestHostileSettings)
#include "tst_hostilesettings.moc"
