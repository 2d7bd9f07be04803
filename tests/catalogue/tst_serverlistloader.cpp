#include "catalogue/ModuleDB.h"
#include "catalogue/ServerListLoader.h"
#include "platform/AppPaths.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace ServerListLoader;
using Col = ServerRowModel::Column;
using ServerCatalogue::Selection;

class TestServerListLoader final : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ServerRowModel> m_model;

    QStringList column(Col col) const {
        QStringList texts;
        for (int row = 0; row < m_model->rowCount(); ++row)
            texts << m_model->text(row, col);
        return texts;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        AppPaths::setCurrent(AppPaths::portableIn(m_dir->path()));
        QVERIFY(ModuleDB::DbOpen());
        m_model = std::make_unique<ServerRowModel>();
        for (const QString name : {"  web 1  ", "\tmail\r\n ", "   "}) {
            const ServerRecord s{0, name, name, name, name, name, {}, name != "\tmail\r\n "};
            QVERIFY(ServerCatalogue::AddServer(s).isEmpty());
        }
    }
    void cleanup() {
        m_model.reset();
        ModuleDB::DbClose();
    }

    void loadsEachView_data() {
        QTest::addColumn<Selection>("view");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("monitored") << Selection::Enabled << QStringList{"1", "3"};
        QTest::newRow("not monitored") << Selection::Disabled << QStringList{"2"};
        QTest::newRow("all") << Selection::All << QStringList{"1", "2", "3"};
    }
    void loadsEachView() {
        QFETCH(Selection, view);
        QFETCH(QStringList, ids);
        QAbstractItemModelTester tester(m_model.get());
        QSignalSpy toggles(m_model.get(), &ServerRowModel::checkToggled);
        QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
        for (int load = 0; load < 2; ++load)
            LoadServerList(*m_model, view);
        QCOMPARE(resets.size(), 2);
        QCOMPARE(toggles.size(), 0);
        QCOMPARE(column(Col::ID), ids);
        for (int row = 0; row < ids.size(); ++row)
            QCOMPARE(m_model->isChecked(row), ids.at(row) != "2");
    }

    void trimsSpacesOnly() {
        LoadServerList(*m_model, Selection::All);
        const QStringList shown{"web 1", "\tmail\r\n", ""};
        for (Col col :
             {Col::DisplayName, Col::IPAddress, Col::Port, Col::PostData, Col::ReplyData}) {
            QCOMPARE(column(col), shown);
            QCOMPARE(m_model->toolTip(0, col), shown.first());
        }
        QVERIFY(!m_model->text(0, Col::AddTime).isEmpty());
        QCOMPARE(m_model->toolTip(0, Col::AddTime), QString());
        QCOMPARE(ServerCatalogue::SelectServer(1)->displayName, QStringLiteral("  web 1  "));
    }

    void loadsSearchResultsAndEmptiesWithoutCatalogue() {
        LoadSearchResult(*m_model, "MAIL");
        QCOMPARE(column(Col::ID), QStringList{"2"});
        ModuleDB::DbClose();
        QVERIFY(!LoadServerList(*m_model, Selection::All));
        QCOMPARE(m_model->rowCount(), 0);
    }

    // A reload while another copy imports shows the catalogue as it was
    // before the import, and after it the imported servers too.
    void reloadsBesideAnotherCopysImport() {
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "import");
            other.setDatabaseName(AppPaths::current().catalogueFile());
            QVERIFY(other.open());
            QVERIFY(other.transaction());
            QSqlQuery insert(other);
            QVERIFY(insert.prepare("insert into ServerList (DisplayName, IPAddress, Port, "
                                   "PostData, InUse) values (?, 'h', '80', ?, 1)"));
            for (int i = 0; i < 20000; ++i) {
                insert.addBindValue(QString::number(i));
                insert.addBindValue(QString(200, QLatin1Char('x')));
                QVERIFY(insert.exec());
            }
            QVERIFY(LoadServerList(*m_model, Selection::All));
            QCOMPARE(column(Col::ID), (QStringList{"1", "2", "3"}));
            QVERIFY(other.commit());
        }
        QSqlDatabase::removeDatabase("import");
        QVERIFY(LoadServerList(*m_model, Selection::All));
        QCOMPARE(m_model->rowCount(), 20003);
    }

    void writesCheckStateToTheCatalogue() {
        LoadServerList(*m_model, Selection::Enabled);
        const ServerRowModel::RowKey key = m_model->keyAt(1);
        QVERIFY(m_model->setData(m_model->index(1, Col::ID), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(LstResult_ItemCheck(*m_model, key, false), QString());
        QCOMPARE(ServerCatalogue::SelectServer(3)->inUse, false);
        QCOMPARE(m_model->rowCount(), 2);
        QCOMPARE(LstResult_ItemCheck(*m_model, key + 100, true), QString());
        ModuleDB::DbClose();
        QVERIFY(LstResult_ItemCheck(*m_model, key, true).startsWith("数据库操作失败:"));
        QCOMPARE(m_model->isChecked(1), false);
    }

    void keepsFailingRowsWithTheirSideData_data() {
        QTest::addColumn<QStringList>("replyTags");
        QTest::addColumn<QStringList>("pingTags");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("none flagged")
            << QStringList{"", "0", ""} << QStringList{"", "", "0"} << QStringList{};
        QTest::newRow("all flagged")
            << QStringList{"1", "", "1"} << QStringList{"", "1", "0"} << QStringList{"1", "2", "3"};
        QTest::newRow("middle removed")
            << QStringList{"0", "0", "1"} << QStringList{"1", "0", "0"} << QStringList{"1", "3"};
        QTest::newRow("only 1 counts")
            << QStringList{"2", "11", ""} << QStringList{"", " 1", "1"} << QStringList{"3"};
    }
    void keepsFailingRowsWithTheirSideData() {
        QFETCH(QStringList, replyTags);
        QFETCH(QStringList, pingTags);
        QFETCH(QStringList, kept);
        LoadServerList(*m_model, Selection::All);
        QAbstractItemModelTester tester(m_model.get());
        for (int row = 0; row < 3; ++row) {
            m_model->setTag(row, Col::ReplyErr, replyTags.at(row));
            m_model->setTag(row, Col::PingErr, pingTags.at(row));
            m_model->setLostPings(row, 10 * (row + 1));
        }
        KeepFailingRows(*m_model);
        QCOMPARE(column(Col::ID), kept);
        for (int row = 0; row < kept.size(); ++row)
            QCOMPARE(m_model->lostPings(row), 10 * kept.at(row).toInt());
    }
};

QTEST_GUILESS_MAIN(TestServerListLoader)
#include "tst_serverlistloader.moc"
