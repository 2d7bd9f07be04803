#include "HostileText.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextSortProxyModel.h"
#include "shell/ListSortState.h"
#include "shell/ResultListInteraction.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QTreeView>

namespace {
using Rows = QList<int>;

// A list of six servers; the port column holds numbers written as text.
struct ListFixture {
    ServerRowModel model;
    TextSortProxyModel proxy;
    QTreeView view;
    ResultListInteraction interaction{&view, &proxy};

    ListFixture() {
        proxy.setSourceModel(&model);
        view.setModel(&proxy);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.resize(600, 400);
        load();
    }
    void load() {
        const QList<std::tuple<int, const char*, const char*>> servers = {
            {3, "b", "100"}, {1, "a", "20"}, {6, "c", "3"},
            {2, "e", "7"},   {5, "d", "25"}, {4, "f", "1000"}};
        QList<ServerRecord> records;
        for (const auto& [id, name, port] : servers) {
            ServerRecord record;
            record.id = id;
            record.displayName = QString::fromLatin1(name);
            record.port = QString::fromLatin1(port);
            records.append(record);
        }
        model.resetRows(records);
    }

    QStringList column(int c) const {
        QStringList texts;
        for (int r = 0; r < proxy.rowCount(); ++r)
            texts.append(proxy.index(r, c).data().toString());
        return texts;
    }
    Rows selectedRows() const {
        Rows rows;
        for (const QModelIndex& index : view.selectionModel()->selectedRows())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    void select(const Rows& rows) {
        view.selectionModel()->clear();
        for (int row : rows)
            view.selectionModel()->select(proxy.index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};
} // namespace

class TestResultList final : public QObject {
    Q_OBJECT
private slots:
    void sortStateFollowsHeaderClicks_data() {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<int>("column");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("first column starts descending")
            << QList<int>{1} << 0 << Qt::DescendingOrder
            << QStringList{"6", "5", "4", "3", "2", "1"};
        QTest::newRow("first column again ascending") << QList<int>{1, 1} << 0 << Qt::AscendingOrder
                                                      << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("first column alternates") << QList<int>{1, 1, 1} << 0 << Qt::DescendingOrder
                                                 << QStringList{"6", "5", "4", "3", "2", "1"};
        QTest::newRow("other column starts ascending, compared as text")
            << QList<int>{4} << 3 << Qt::AscendingOrder
            << QStringList{"100", "1000", "20", "25", "3", "7"};
        QTest::newRow("other column again descending")
            << QList<int>{4, 4} << 3 << Qt::DescendingOrder
            << QStringList{"7", "3", "25", "20", "1000", "100"};
        QTest::newRow("new column restarts ascending")
            << QList<int>{4, 4, 2} << 1 << Qt::AscendingOrder
            << QStringList{"a", "b", "c", "d", "e", "f"};
        QTest::newRow("back to the first column ascending")
            << QList<int>{2, 1} << 0 << Qt::AscendingOrder
            << QStringList{"1", "2", "3", "4", "5", "6"};
    }
    void sortStateFollowsHeaderClicks() {
        QFETCH(QList<int>, clicks);
        QFETCH(int, column);
        QFETCH(Qt::SortOrder, order);
        QFETCH(QStringList, shown);

        ListSortState state;
        QCOMPARE(state.sorted(), false);
        ListFixture list;
        QSignalSpy sorted(&list.interaction, &ResultListInteraction::sorted);
        for (int k : clicks) {
            state.ColumnClick(k);
            list.view.header()->sectionClicked(k - 1);
        }
        QCOMPARE(state.sortColumn(), column);
        QCOMPARE(state.sortOrder(), order);
        QVERIFY(state.sorted());
        QCOMPARE(list.interaction.sortState().sortColumn(), column);
        QCOMPARE(list.interaction.sortState().sortOrder(), order);
        QCOMPARE(list.column(column), shown);
        QCOMPARE(sorted.count(), clicks.size());
    }

    void aReloadKeepsTheChosenOrder_data() {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("never sorted: load order")
            << QList<int>{} << QStringList{"3", "1", "6", "2", "5", "4"};
        QTest::newRow("sorted descending")
            << QList<int>{1} << QStringList{"6", "5", "4", "3", "2", "1"};
    }
    void aReloadKeepsTheChosenOrder() {
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, shown);
        ListFixture list;
        for (int k : clicks)
            list.interaction.LstResult_ColumnClick(k);
        list.load();
        QCOMPARE(list.column(0), shown);
    }

    void rightButtonRules_data() {
        QTest::addColumn<Rows>("selectedBefore");
        QTest::addColumn<int>("row"); // -1: empty space below the last row
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<Rows>("selectedAfter");
        QTest::addColumn<bool>("menu");

        QTest::newRow("empty space opens nothing")
            << Rows{1} << -1 << Qt::RightButton << Rows{1} << false;
        QTest::newRow("unselected row becomes the only selection")
            << Rows{0, 1, 2} << 4 << Qt::RightButton << Rows{4} << true;
        QTest::newRow("unselected row with nothing selected")
            << Rows{} << 3 << Qt::RightButton << Rows{3} << true;
        QTest::newRow("selected row keeps the multi-selection")
            << Rows{0, 1, 2} << 1 << Qt::RightButton << Rows{0, 1, 2} << true;
        QTest::newRow("left button opens nothing")
            << Rows{0} << 2 << Qt::LeftButton << Rows{2} << false;
    }
    void rightButtonRules() {
        QFETCH(Rows, selectedBefore);
        QFETCH(int, row);
        QFETCH(Qt::MouseButton, button);
        QFETCH(Rows, selectedAfter);
        QFETCH(bool, menu);

        ListFixture list;
        list.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list.view));
        list.select(selectedBefore);
        QSignalSpy requested(&list.interaction, &ResultListInteraction::contextMenuRequested);

        const QRect lastRow = list.view.visualRect(list.proxy.index(5, 0));
        const QPoint position = row < 0 ? QPoint(5, lastRow.bottom() + 40)
                                        : list.view.visualRect(list.proxy.index(row, 1)).center();
        QTest::mouseClick(list.view.viewport(), button, {}, position);

        QCOMPARE(list.selectedRows(), selectedAfter);
        QCOMPARE(requested.count(), menu ? 1 : 0);
        if (menu)
            QCOMPARE(requested.first().first().toPoint(),
                     list.view.viewport()->mapToGlobal(position));
    }

    void rightClickOnTheHeaderOpensNothing() {
        ListFixture list;
        list.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list.view));
        QSignalSpy requested(&list.interaction, &ResultListInteraction::contextMenuRequested);
        QTest::mouseClick(list.view.header()->viewport(), Qt::RightButton, {}, QPoint(10, 5));
        QCOMPARE(requested.count(), 0);
        QCOMPARE(list.interaction.LstResult_MouseUp(Qt::RightButton, QPoint(5, 10000)), false);
    }

    // Names, statuses and replies from outside show as written, in the cells
    // and in the tips, without loading anything and without delay.
    void outsideTextsShowAsPlainText() {
        HostileText::capMemory();
        HostileText::Fifo fifo;
        for (const QString& payload : HostileText::payloads(fifo)) {
            ListFixture list;
            ServerRecord record;
            record.displayName = payload;
            record.replyData = payload;
            list.model.resetRows({record});
            list.model.setText(0, ServerRowModel::Status, payload);
            list.view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&list.view));
            const double paintMs = HostileText::cpuMsOf([&list] { list.view.grab(); });
            QVERIFY2(paintMs < HostileText::MaxMs, qPrintable(QString::number(paintMs)));
            QCOMPARE(list.proxy.index(0, ServerRowModel::Status).data().toString(), payload);

            QWidget* viewport = list.view.viewport();
            const QPoint at =
                list.view.visualRect(list.proxy.index(0, ServerRowModel::DisplayName)).center();
            const double tipMs = HostileText::cpuMsOf([&] {
                QHelpEvent hover(QEvent::ToolTip, at, viewport->mapToGlobal(at));
                QApplication::sendEvent(viewport, &hover);
                QApplication::processEvents();
            });
            QVERIFY2(tipMs < HostileText::MaxMs, qPrintable(QString::number(tipMs)));
            QCOMPARE(HostileText::shown(QToolTip::text()), payload);
            QToolTip::hideText();
        }
        QVERIFY(!fifo.opened());
    }
};

QTEST_MAIN(TestResultList)
#include "tst_resultlist.moc"
