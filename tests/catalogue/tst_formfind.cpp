#include "CatalogueTestSupport.h"
#include "catalogue/ServerCatalogue.h"
#include "catalogue/ui/FormFind.h"

#include <QSignalSpy>
#include <QTest>

class TestFormFind final : public QObject {
    Q_OBJECT
private slots:
    void searchReplacesTheListAndCloses_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("port digits anywhere") << "80" << false << QStringList{"web", "mail"};
        QTest::newRow("ascii case ignored, by enter") << "WEB" << true << QStringList{"web"};
        QTest::newRow("quote") << "o'reilly" << false << QStringList{"O'Reilly 100%"};
        QTest::newRow("percent is literal") << "0%" << false << QStringList{"O'Reilly 100%"};
        QTest::newRow("underscore is literal") << "_" << false << QStringList{};
        QTest::newRow("not trimmed") << " web" << true << QStringList{};
        QTest::newRow("empty finds all")
            << "" << false << QStringList{"web", "mail", "O'Reilly 100%", "Other"};
    }
    void searchReplacesTheListAndCloses() {
        QFETCH(QString, keyword);
        QFETCH(bool, byEnter);
        QFETCH(QStringList, found);
        TemporaryCatalogue catalogue;
        const QList<ServerRecord> servers{
            {0, "web", "127.0.0.1", "8080", "GET /", "200", {}, true},
            {0, "mail", "127.0.0.2", "25", "HELO 80x", "250", {}, true},
            {0, "O'Reilly 100%", "127.0.0.3", "21", "", "220", {}, true},
            {0, "Other", "127.0.0.4", "22", "", "SSH", {}, false}};
        for (const auto& server : servers)
            QCOMPARE(ServerCatalogue::AddServer(server), QString());

        FormFind form;
        QSignalSpy results(&form, &FormFind::searchResultsReady);
        form.show();
        QVERIFY(boxText(form, "TextKeyword").isEmpty());
        QTest::keyClicks(control(form, "TextKeyword"), keyword);
        if (byEnter)
            QTest::keyClick(control(form, "TextKeyword"), Qt::Key_Return);
        else
            click(form, "CmdFind");

        QCOMPARE(results.count(), 1);
        QStringList names;
        for (const auto& server : results.first().first().value<QList<ServerRecord>>())
            names.append(server.displayName);
        QCOMPARE(names, found);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestFormFind)
#include "tst_formfind.moc"
