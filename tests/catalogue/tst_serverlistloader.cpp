#include "catalogue/ModuleDB.h"
#include "catalogue/ServerListLoader.h"
#include "monitor/TextSortProxyModel.h"
#include "platform/AppPaths.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
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

    // Servers 1 to 6 (alpha to foxtrot; 5 and 6 not monitored) are listed,
    // sorted by name from last to first, one untouched row selected. Then
    // another copy renames 2, deletes 3, stops monitoring 4, starts 5 and
    // adds 7; the reload of those IDs (and of one that never existed)
    // changes only their rows.
    void reloadsOnlyTheChangedRows_data() {
        QTest::addColumn<Selection>("view");
        QTest::addColumn<QStringList>("before"); // IDs as the sorted list shows them
        QTest::addColumn<QStringList>("kept");   // the rows then left, in the same order
        QTest::addColumn<QStringList>("added");  // wherever the unsorted proxy puts them
        QTest::addColumn<QString>("selected");
        QTest::newRow("monitored") << Selection::Enabled << QStringList{"4", "3", "2", "1"}
                                   << QStringList{"2", "1"} << QStringList{"5", "7"} << "1";
        QTest::newRow("not monitored") << Selection::Disabled << QStringList{"6", "5"}
                                       << QStringList{"6"} << QStringList{"4"} << "6";
        QTest::newRow("all") << Selection::All << QStringList{"6", "5", "4", "3", "2", "1"}
                             << QStringList{"6", "5", "4", "2", "1"} << QStringList{"7"} << "1";
    }
    void reloadsOnlyTheChangedRows() {
        QFETCH(Selection, view);
        QFETCH(QStringList, before);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, added);
        QFETCH(QString, selected);
        QVERIFY(ModuleDB::DbExecute("delete from ServerList").isEmpty());
        const QStringList names{"alpha", "bravo", "charlie", "delta", "echo", "foxtrot"};
        for (qsizetype i = 0; i < names.size(); ++i) {
            const ServerRecord s{0, names.at(i), "127.0.0.1", "80", {}, {}, {}, i < 4};
            QVERIFY(ServerCatalogue::AddServer(s).isEmpty());
        }
        const auto firstId = ModuleDB::DbSelect("select min(ID) from ServerList");
        const qint64 base = firstId.first().value(0).toLongLong() - 1;
        const auto id = [base](const QString& shown) {
            return QString::number(shown.toLongLong() - base);
        };

        QVERIFY(LoadServerList(*m_model, view));
        QAbstractItemModelTester tester(m_model.get());
        TextSortProxyModel sorted;
        sorted.setSourceModel(m_model.get());
        sorted.sort(Col::DisplayName, Qt::DescendingOrder);
        QItemSelectionModel selection(&sorted);
        const auto shownIds = [&] {
            QStringList ids;
            for (int row = 0; row < sorted.rowCount(); ++row)
                ids << id(sorted.index(row, Col::ID).data().toString());
            return ids;
        };
        QCOMPARE(shownIds(), before);
        for (int row = 0; row < m_model->rowCount(); ++row)
            m_model->setLostPings(row, 10 * id(m_model->text(row, Col::ID)).toInt());
        selection.select(sorted.index(before.indexOf(selected), 0),
                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

        const auto at = [base](int n) { return base + n; };
        QVERIFY(ModuleDB::DbExecute("update ServerList set DisplayName='bravo2',"
                                    "Revision=Revision+1 where ID=?",
                                    {at(2)})
                    .isEmpty());
        QVERIFY(ServerCatalogue::DeleteServer(at(3)).isEmpty());
        QVERIFY(ServerCatalogue::SetServerInUse(at(4), false).isEmpty());
        QVERIFY(ServerCatalogue::SetServerInUse(at(5), true).isEmpty());
        QVERIFY(
            ServerCatalogue::AddServer({0, "golf", "127.0.0.1", "80", {}, {}, {}, true}).isEmpty());
        QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
        QVERIFY(ReloadServers(*m_model, {at(2), at(3), at(4), at(5), at(7), at(99)}, view));

        QCOMPARE(resets.size(), 0);
        QStringList shownKept = shownIds();
        for (const QString& server : added)
            QVERIFY2(shownKept.removeOne(server), qPrintable(server));
        QCOMPARE(shownKept, kept);
        const QModelIndexList chosen = selection.selectedRows(Col::ID);
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(id(chosen.first().data().toString()), selected);
        for (int row = 0; row < m_model->rowCount(); ++row) {
            const QString server = id(m_model->text(row, Col::ID));
            const bool untouched = server == "1" || server == "6";
            QCOMPARE(m_model->lostPings(row), untouched ? 10 * server.toInt() : 0);
            const QString name = server == "2"   ? "bravo2"
                                 : server == "7" ? "golf"
                                                 : names.at(server.toInt() - 1);
            QCOMPARE(m_model->text(row, Col::DisplayName), name);
            QCOMPARE(m_model->isChecked(row), server != "4" && server != "6");
        }
    }

    // More IDs than one statement binds are read in several, each row
    // refreshed; an unreadable catalogue changes no row.
    void reloadsManyIdsAndNothingWithoutCatalogue() {
        const auto addMany = [] {
            for (int i = 0; i < 1200; ++i) {
                const ServerRecord s{
                    0, QStringLiteral("s%1").arg(i), "127.0.0.1", "80", {}, {}, {}, true};
                if (const QString report = ServerCatalogue::AddServer(s); !report.isEmpty())
                    return report;
            }
            return QString();
        };
        QVERIFY(ModuleDB::DbTransaction(addMany).isEmpty());
        QVERIFY(LoadServerList(*m_model, Selection::All));
        QCOMPARE(m_model->rowCount(), 1203);
        QVERIFY(ModuleDB::DbExecute("update ServerList set Port='81'").isEmpty());
        QList<qint64> ids;
        for (int row = 0; row < m_model->rowCount(); ++row) {
            ids << m_model->text(row, Col::ID).toLongLong();
            m_model->setLostPings(row, 1);
        }
        QVERIFY(ReloadServers(*m_model, ids, Selection::All));
        QCOMPARE(m_model->rowCount(), 1203);
        QCOMPARE(column(Col::Port), QStringList(1203, "81"));
        QCOMPARE(m_model->lostPings(1202), 0);
        QCOMPARE(column(Col::DisplayName).mid(0, 4),
                 (QStringList{"web 1", "\tmail\r\n", "", "s0"}));

        m_model->setLostPings(0, 9);
        ModuleDB::DbClose();
        QVERIFY(!ReloadServers(*m_model, ids, Selection::All));
        QCOMPARE(m_model->rowCount(), 1203);
        QCOMPARE(m_model->lostPings(0), 9);
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
