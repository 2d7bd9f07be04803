#include "FuzzTarget.h"

#include <QDir>
#include <QFile>
#include <QTest>

// Replays every seed and every former crasher of each fuzz target; an oracle
// that fails aborts the test.
class TestFuzzReplay final : public QObject {
    Q_OBJECT
private slots:
    void replay_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        const QDir fuzzDir(qEnvironmentVariable("SERVERMON_SOURCE_DIR") + QStringLiteral("/fuzz"));
        for (const auto& [name, function] : fuzzTargets()) {
            const QString target = QString::fromStdString(name);
            for (const QString& folder :
                 {QStringLiteral("corpus"), QStringLiteral("regressions")}) {
                const QDir inputs(fuzzDir.filePath(folder + QLatin1Char('/') + target));
                for (const QString& file : inputs.entryList(QDir::Files))
                    QTest::newRow(
                        qPrintable(target + QLatin1Char('/') + folder + QLatin1Char('/') + file))
                        << target << inputs.filePath(file);
            }
        }
    }

    void replay() {
        QFETCH(QString, target);
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray input = file.readAll();
        fuzzTargets().at(target.toStdString())(reinterpret_cast<const uint8_t*>(input.constData()),
                                               static_cast<size_t>(input.size()));
    }

    void everyTargetHasSeeds() {
        const QDir corpus(qEnvironmentVariable("SERVERMON_SOURCE_DIR") +
                          QStringLiteral("/fuzz/corpus"));
        QVERIFY(!fuzzTargets().empty());
        for (const auto& [name, function] : fuzzTargets())
            QVERIFY2(!QDir(corpus.filePath(QString::fromStdString(name))).isEmpty(), name.c_str());
    }
};

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzzreplay.moc"
