#include "platform/AppPaths.h"
#include "platform/gui/MessageBoxes.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

class TestPlatform final : public QObject {
    Q_OBJECT
private slots:
    void appPathEndsWithOneSeparator() {
        QTemporaryDir dir;
        setAppPathForTesting(dir.path());
        QCOMPARE(GetAppPath(), dir.path() + QLatin1Char('/'));
        setAppPathForTesting(dir.path() + QLatin1Char('/'));
        QCOMPARE(GetAppPath(), dir.path() + QLatin1Char('/'));
        setAppPathForTesting({});
        QCOMPARE(GetAppPath(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    }

    void messageBoxesAnswerFromTheQueue() {
        MessageBoxes::setTestMode(true);
        QCOMPARE(MessageBoxes::show(nullptr, QMessageBox::Question, QStringLiteral("t"),
                                    QStringLiteral("x"), QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::Yes);
        MessageBoxes::queueAnswer(QMessageBox::No);
        QCOMPARE(MessageBoxes::show(nullptr, QMessageBox::Critical,
                                    QStringLiteral("对不起,添加失败"), QStringLiteral("y"),
                                    QMessageBox::Yes | QMessageBox::No),
                 QMessageBox::No);
        const auto shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(1).title, QStringLiteral("对不起,添加失败"));
        QCOMPARE(shown.at(1).icon, QMessageBox::Critical);
        QVERIFY(MessageBoxes::takeShown().isEmpty());
        MessageBoxes::setTestMode(false);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
