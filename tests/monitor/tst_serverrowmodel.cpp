#include "monitor/CaseInsensitiveKeys.h"
#include "monitor/GbkText.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextSortProxyModel.h"
#include "monitor/ui/PaintedServerRowModel.h"
#include "platform/PlainText.h"

#include <QAbstractItemModelTester>
#include <QSet>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTest>

namespace {
QList<ServerRecord> threeServers() {
    QList<ServerRecord> records;
    for (int id = 1; id <= 3; ++id) {
        ServerRecord record;
        record.id = id;
        record.displayName = QStringLiteral("server%1").arg(id);
        record.ipAddress = QStringLiteral("127.0.0.%1").arg(id);
        record.port = QStringLiteral("80");
        record.postData = QStringLiteral("GET / HTTP/1.0");
        record.replyData = QStringLiteral("200");
        record.addTime = QStringLiteral("2026-12-09 10:00:00");
        record.inUse = id != 2;
        records.append(record);
    }
    return records;
}
} // namespace

class TestServerRowModel final : public QObject {
    Q_OBJECT
private slots:
    void loadedRowTexts() {
        ServerRowModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.resetRows(threeServers());
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.text(0, ServerRowModel::ID), QStringLiteral("1"));
        QCOMPARE(model.text(0, ServerRowModel::Status), QStringLiteral("初始化完成"));
        for (auto column : {ServerRowModel::ReplyTime, ServerRowModel::ReplyErr,
                            ServerRowModel::PingTime, ServerRowModel::PingErr})
            QCOMPARE(model.text(0, column), QStringLiteral("0"));
        QVERIFY(model.text(0, ServerRowModel::PingState).isEmpty());
        QVERIFY(model.tag(0, ServerRowModel::ReplyErr).isEmpty());
        QVERIFY(model.tag(0, ServerRowModel::PingErr).isEmpty());
        QCOMPARE(model.toolTip(0, ServerRowModel::IPAddress), QStringLiteral("127.0.0.1"));
        QVERIFY(model.isChecked(0));
        QVERIFY(!model.isChecked(1));
        QCOMPARE(model.headerData(ServerRowModel::Port, Qt::Horizontal).toString(),
                 QStringLiteral("端口"));
        QCOMPARE(ServerRowModel::columnOfKey(QStringLiteral("PingState")),
                 int(ServerRowModel::PingState));
        QCOMPARE(ServerRowModel::columnOfKey(QStringLiteral("pingstate")), -1);
    }

    // The window's list keeps memory for a second list ready, taken over
    // turns of the event loop; a reload meanwhile or after loses no row.
    void spareRowsForTheNextReload_data() {
        QTest::addColumn<bool>("kept");
        QTest::addColumn<bool>("reloadWhileTaken");
        QTest::newRow("not kept") << false << false;
        QTest::newRow("kept") << true << false;
        QTest::newRow("reload while it is taken") << true << true;
    }
    void spareRowsForTheNextReload() {
        QFETCH(bool, kept);
        QFETCH(bool, reloadWhileTaken);
        constexpr int Rows = 5000;
        QList<ServerRecord> records;
        for (int id = 1; id <= Rows; ++id) {
            ServerRecord record;
            record.id = id;
            record.displayName = QStringLiteral("s%1").arg(id);
            records.append(record);
        }
        ServerRowModel model;
        model.setSpareRowsKept(kept);
        model.resetRows(records);
        QCOMPARE(model.spareRows(), 0);
        if (reloadWhileTaken) {
            QCoreApplication::processEvents();
            model.resetRows(records.mid(1));
            QCOMPARE(model.rowCount(), Rows - 1);
            QCOMPARE(model.text(0, ServerRowModel::DisplayName), QStringLiteral("s2"));
        }
        if (kept)
            QTRY_VERIFY(model.spareRows() >= model.rowCount());
        else
            QTest::qWait(20);
        QCOMPARE(model.spareRows() >= model.rowCount(), kept);
        model.resetRows(records);
        QCOMPARE(model.rowCount(), Rows);
        QCOMPARE(model.text(Rows - 1, ServerRowModel::DisplayName), QStringLiteral("s5000"));
        QCOMPARE(model.text(Rows - 1, ServerRowModel::Status), QStringLiteral("初始化完成"));
    }

    void keysSurviveRemovalAndReload() {
        ServerRowModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.resetRows(threeServers());
        const auto third = model.keyAt(2);
        model.setLostPings(2, 7);
        model.setRowColour(2, RowColour(255, 0, 0));
        model.setTag(2, ServerRowModel::PingErr, QStringLiteral("1"));
        model.removeRowAt(0);
        QCOMPARE(model.rowOfKey(third), 1);
        QCOMPARE(model.lostPings(1), 7);
        // The new rows take the old rows' places: nothing of the old ones stays.
        model.resetRows(threeServers());
        QCOMPARE(model.rowOfKey(third), -1);
        QCOMPARE(model.lostPings(1), 0);
        QVERIFY(!model.rowColour(1).isValid());
        QVERIFY(model.tag(1, ServerRowModel::PingErr).isEmpty());
        QVERIFY(model.keyAt(0) > third);
    }

    // A replaced row is a freshly loaded row of the new record in the same
    // place, under a new key; the other rows keep everything.
    void replacedRowIsFreshUnderANewKey() {
        ServerRowModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.resetRows(threeServers());
        for (int row = 0; row < 3; ++row) {
            model.setLostPings(row, 10 + row);
            model.setRowColour(row, RowColour(255, 0, 0));
            model.setTag(row, ServerRowModel::ReplyErr, QStringLiteral("1"));
            model.setText(row, ServerRowModel::Status, QStringLiteral("已收到正确的回应包"));
            model.setLastReply(row, "late");
        }
        const ServerRowModel::RowKey oldKey = model.keyAt(1);
        ServerRecord changed = threeServers().at(1);
        changed.displayName = QStringLiteral("renamed");
        changed.inUse = true;
        changed.tls = {Transport::Tls, QStringLiteral("svc.test"), false};
        changed.certWarnDays = 30;
        changed.revision = 7;
        QSignalSpy data(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy replaced(&model, &ServerRowModel::rowReplaced);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
        model.replaceRow(1, changed);

        QCOMPARE(resets.size(), 0);
        QCOMPARE(layouts.size(), 0);
        QCOMPARE(data.size(), 1);
        QCOMPARE(data.at(0).at(0).toModelIndex(), model.index(1, 0));
        QCOMPARE(data.at(0).at(1).toModelIndex(), model.index(1, ServerRowModel::ColumnCount - 1));
        QCOMPARE(replaced.size(), 1);
        QCOMPARE(replaced.at(0).at(0).toInt(), 1);
        QCOMPARE(replaced.at(0).at(1).value<ServerRowModel::RowKey>(), oldKey);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.rowOfKey(oldKey), -1);
        QVERIFY(model.keyAt(1) > model.keyAt(2));
        QCOMPARE(model.rowOfKey(model.keyAt(1)), 1);
        QCOMPARE(model.index(1, 0).data(ServerRowModel::KeyRole).value<ServerRowModel::RowKey>(),
                 model.keyAt(1));

        QCOMPARE(model.text(1, ServerRowModel::DisplayName), QStringLiteral("renamed"));
        QCOMPARE(model.toolTip(1, ServerRowModel::DisplayName), QStringLiteral("renamed"));
        QCOMPARE(model.text(1, ServerRowModel::Status), QStringLiteral("初始化完成"));
        QCOMPARE(model.toolTip(1, ServerRowModel::ReplyData), QStringLiteral("200"));
        QVERIFY(model.tag(1, ServerRowModel::ReplyErr).isEmpty());
        QCOMPARE(model.lostPings(1), 0);
        QVERIFY(!model.rowColour(1).isValid());
        QVERIFY(model.isChecked(1));
        QCOMPARE(model.tlsOptions(1), changed.tls);
        QCOMPARE(model.certWarnDays(1), 30);
        QCOMPARE(model.revision(1), 7);
        for (const int row : {0, 2}) {
            QCOMPARE(model.lostPings(row), 10 + row);
            QVERIFY(model.rowColour(row).isValid());
            QCOMPARE(model.toolTip(row, ServerRowModel::ReplyData), QStringLiteral("late"));
            QCOMPARE(model.rowOfKey(model.keyAt(row)), row);
        }
    }

    void appendedRowsAreFreshAtTheEnd() {
        ServerRowModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.resetRows(threeServers().mid(0, 1));
        model.setLostPings(0, 5);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.appendRows({});
        QCOMPARE(inserted.size(), 0);
        model.appendRows(threeServers().mid(1));
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 1);
        QCOMPARE(inserted.at(0).at(2).toInt(), 2);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.lostPings(0), 5);
        for (int row = 1; row < 3; ++row) {
            QCOMPARE(model.text(row, ServerRowModel::ID), QString::number(row + 1));
            QCOMPARE(model.text(row, ServerRowModel::Status), QStringLiteral("初始化完成"));
            QCOMPARE(model.isChecked(row), row != 1);
            QVERIFY(model.keyAt(row) > model.keyAt(row - 1));
            QCOMPARE(model.rowOfKey(model.keyAt(row)), row);
        }
    }

    // Each key finds its row, and each retired key none, through any mix of
    // replacing (r), appending (a) and removing (x) rows, row numbers given.
    void keysFindTheirRowsThroughChanges_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("replace the middle") << QStringList{"r1"};
        QTest::newRow("replace each, then again") << QStringList{"r0", "r1", "r2", "r1", "r0"};
        QTest::newRow("replace, remove before it") << QStringList{"r2", "x0", "r1", "x1"};
        QTest::newRow("append, replace the appended") << QStringList{"a", "a", "r4", "r3", "x0"};
        QTest::newRow("remove the replaced, append") << QStringList{"r1", "x1", "a", "r2", "r0"};
        QTest::newRow("remove all, append") << QStringList{"r0", "x0", "x0", "x0", "a", "r0"};
    }
    void keysFindTheirRowsThroughChanges() {
        QFETCH(QStringList, steps);
        ServerRowModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.resetRows(threeServers());
        QList<ServerRowModel::RowKey> retired;
        for (const QString& step : std::as_const(steps)) {
            const int row = step.mid(1).toInt();
            if (step.startsWith(u'r')) {
                retired << model.keyAt(row);
                model.replaceRow(row, threeServers().at(row % 3));
            } else if (step.startsWith(u'x')) {
                retired << model.keyAt(row);
                model.removeRowAt(row);
            } else {
                model.appendRows(threeServers().mid(0, 1));
            }
            QSet<ServerRowModel::RowKey> keys;
            for (int r = 0; r < model.rowCount(); ++r) {
                QCOMPARE(model.rowOfKey(model.keyAt(r)), r);
                keys.insert(model.keyAt(r));
            }
            QCOMPARE(keys.size(), model.rowCount());
            for (const ServerRowModel::RowKey key : std::as_const(retired))
                QCOMPARE(model.rowOfKey(key), -1);
        }
        model.resetRows(threeServers());
        for (const ServerRowModel::RowKey key : std::as_const(retired))
            QCOMPARE(model.rowOfKey(key), -1);
        for (int r = 0; r < model.rowCount(); ++r)
            QCOMPARE(model.rowOfKey(model.keyAt(r)), r);
    }

    void checkBoxReportsTheOperatorsChange() {
        ServerRowModel model;
        model.resetRows(threeServers());
        QSignalSpy toggled(&model, &ServerRowModel::checkToggled);
        QVERIFY(model.setData(model.index(1, ServerRowModel::ID), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(toggled.size(), 1);
        QCOMPARE(toggled.at(0).at(0).value<ServerRowModel::RowKey>(), model.keyAt(1));
        QCOMPARE(toggled.at(0).at(1).toBool(), true);
        model.setChecked(1, false); // a programmatic change is not the operator's
        QCOMPARE(toggled.size(), 1);
        QVERIFY(
            !model.setData(model.index(1, ServerRowModel::Port), Qt::Checked, Qt::CheckStateRole));
    }

    void hugeTextsAreCappedForDisplayOnly() {
        ServerRowModel model;
        model.resetRows(threeServers());
        const QString huge = QString(5000, QLatin1Char('x')) + QStringLiteral("\r\nend");
        model.setText(0, ServerRowModel::Status, huge);
        model.setToolTip(0, ServerRowModel::Status, QStringLiteral("a\nb"));
        const QModelIndex cell = model.index(0, ServerRowModel::Status);
        const QString shown = cell.data().toString();
        QCOMPARE(shown.size(), 4097);
        QVERIFY(shown.endsWith(QStringLiteral("…")));
        QCOMPARE(cell.data(ServerRowModel::FullTextRole).toString(), huge);
        model.setText(1, ServerRowModel::Status, QStringLiteral("a\r\nb\nc"));
        QCOMPARE(model.index(1, ServerRowModel::Status).data().toString(), QStringLiteral("a b c"));
        QCOMPARE(cell.data(Qt::ToolTipRole).toString(), PlainText::asRichText("a\nb"));
    }

    // A tip holds a reply or a catalogue text: Qt must never see markup in it.
    void toolTipsAreEscaped_data() {
        QTest::addColumn<QString>("tip");
        QTest::addColumn<QString>("rich");
        const QString p = QStringLiteral("<p style=\"white-space:pre-wrap\">");
        QTest::newRow("image") << "<img src=\"/dev/zero\">"
                               << p + "&lt;img src=&quot;/dev/zero&quot;&gt;</p>";
        QTest::newRow("entity and blanks") << "a &lt;  b\t" << p + "a &amp;lt;  b\t</p>";
        QTest::newRow("line breaks") << "a\r\nb\rc\nd" << p + "a\nb\nc\nd</p>";
    }
    void toolTipsAreEscaped() {
        QFETCH(QString, tip);
        QFETCH(QString, rich);
        ServerRowModel model;
        model.resetRows(threeServers());
        model.setToolTip(0, ServerRowModel::ReplyData, tip);
        QCOMPARE(model.index(0, ServerRowModel::ReplyData).data(Qt::ToolTipRole).toString(), rich);
        QCOMPARE(model.toolTip(0, ServerRowModel::ReplyData), tip);
    }

    // A row keeps the start of its last reply that a cell can show, cut
    // between characters; Status and the ReplyData tool-tip show it until a
    // text of their own replaces it.
    void lastReplyIsKeptBounded() {
        ServerRowModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.resetRows(threeServers());
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const QByteArray huge = QByteArray(ServerRowModel::ReplyKeptBytes - 1, 'a') +
                                GbkText::encode("服务") + QByteArray(1 << 20, 'b');
        model.setLastReply(0, huge);
        model.setStatusWithReply(0, QStringLiteral("应答包错误："));
        const QString kept = QString(ServerRowModel::ReplyKeptBytes - 1, u'a') + u'…';
        QCOMPARE(model.toolTip(0, ServerRowModel::ReplyData), kept);
        QCOMPARE(model.text(0, ServerRowModel::Status), QStringLiteral("应答包错误：") + kept);
        const QModelIndex status = model.index(0, ServerRowModel::Status);
        QCOMPARE(status.data(ServerRowModel::FullTextRole).toString(),
                 QStringLiteral("应答包错误：") + kept);
        QCOMPARE(status.data().toString().size(), 4097);
        QCOMPARE(changed.size(), 2);
        QVERIFY(model.retainedBytes(0) < 8192);

        model.setLastReply(1, GbkText::encode("服务正常\r\n"));
        QCOMPARE(model.toolTip(1, ServerRowModel::ReplyData), QStringLiteral("服务正常\r\n"));
        QCOMPARE(model.text(1, ServerRowModel::Status), QStringLiteral("初始化完成"));

        model.setText(0, ServerRowModel::Status, QStringLiteral("应答包错误："));
        QCOMPARE(model.text(0, ServerRowModel::Status), QStringLiteral("应答包错误："));
        model.setToolTip(0, ServerRowModel::ReplyData, QStringLiteral("200"));
        QCOMPARE(model.toolTip(0, ServerRowModel::ReplyData), QStringLiteral("200"));
        QCOMPARE(changed.size(), 5);
        QCOMPARE(model.toolTip(2, ServerRowModel::ReplyData), QStringLiteral("200"));
        model.resetRows(threeServers());
        QCOMPARE(model.toolTip(0, ServerRowModel::ReplyData), QStringLiteral("200"));
        QCOMPARE(model.text(0, ServerRowModel::Status), QStringLiteral("初始化完成"));
    }

    void coloursFollowRowsThroughTheSortProxy() {
        PaintedServerRowModel model;
        model.resetRows(threeServers());
        QSortFilterProxyModel proxy;
        proxy.setDynamicSortFilter(false);
        proxy.setSourceModel(&model);
        model.setRowColour(0, RowColour(255, 0, 0));
        proxy.sort(ServerRowModel::ID, Qt::DescendingOrder);
        QCOMPARE(
            proxy.index(2, ServerRowModel::DisplayName).data(Qt::BackgroundRole).value<QColor>(),
            QColor(Qt::red));
        QCOMPARE(proxy.index(2, ServerRowModel::Port).data(Qt::ForegroundRole).value<QColor>(),
                 QColor(Qt::black));
        QVERIFY(!proxy.index(0, ServerRowModel::DisplayName).data(Qt::BackgroundRole).isValid());
        QVERIFY(!proxy.index(0, ServerRowModel::DisplayName).data(Qt::ForegroundRole).isValid());
    }

    // Folded keys order every pair exactly as QString::compare without regard
    // to case: special folds, code points beyond the basic plane, lone
    // surrogates, prefixes.
    void caseInsensitiveKeysOrderAsTextCompare() {
        const QStringList texts{QString(),
                                QStringLiteral("a"),
                                QStringLiteral("A"),
                                QStringLiteral("aB"),
                                QStringLiteral("Ab"),
                                QStringLiteral("b"),
                                QStringLiteral("100"),
                                QStringLiteral("20"),
                                QStringLiteral("Straße"),
                                QStringLiteral("STRASSE"),
                                QStringLiteral("ẞ"),
                                QStringLiteral("ß"),
                                QStringLiteral("K"),
                                QStringLiteral("\u212a"),
                                QStringLiteral("ǅ"),
                                QStringLiteral("ς"),
                                QStringLiteral("Σ"),
                                QStringLiteral("İ"),
                                QStringLiteral("ı"),
                                QStringLiteral("ｚ"),
                                QStringLiteral("Ｚ"),
                                QStringLiteral("服务器"),
                                QStringLiteral("服务"),
                                QStringLiteral("\U00010400"),
                                QStringLiteral("\U00010428"),
                                QStringLiteral("a\U00010400b"),
                                QStringLiteral("A\U00010428"),
                                QStringLiteral("a\U0001E900"),
                                QString(QChar(0xd801)),
                                QString(QChar(0xd801)) + QLatin1Char('a'),
                                QString(QChar(0xdc00)),
                                QString(QChar(0xffff)),
                                QString(QChar(0xe000)),
                                QStringLiteral("\U00010000")};
        CaseInsensitiveKeys keys;
        for (const QString& text : texts)
            keys.append(text);
        QCOMPARE(keys.size(), texts.size());
        for (qsizetype a = 0; a < texts.size(); ++a) {
            for (qsizetype b = 0; b < texts.size(); ++b) {
                const bool expected =
                    QString::compare(texts.at(a), texts.at(b), Qt::CaseInsensitive) < 0;
                if (keys.less(a, b) != expected)
                    QFAIL(qPrintable(QStringLiteral("%1 < %2").arg(a).arg(b)));
            }
        }
    }

    // The proxy sorts a reloaded list by itself with keys of the new texts,
    // and keys it holds for that go stale with the first changed cell.
    void sortedListStaysSortedThroughReloadsAndChanges() {
        const auto named = [](const QStringList& names) {
            QList<ServerRecord> records;
            for (const QString& name : names) {
                ServerRecord record;
                record.displayName = name;
                records.append(record);
            }
            return records;
        };
        ServerRowModel model;
        TextSortProxyModel proxy;
        proxy.setSourceModel(&model);
        const auto shown = [&proxy] {
            QStringList names;
            for (int row = 0; row < proxy.rowCount(); ++row)
                names << proxy.index(row, ServerRowModel::DisplayName).data().toString();
            return names;
        };
        model.resetRows(named({QStringLiteral("b"), QStringLiteral("C"), QStringLiteral("a")}));
        proxy.sort(ServerRowModel::DisplayName);
        QCOMPARE(shown(), QStringList({"a", "b", "C"}));
        model.resetRows(named({QStringLiteral("z"), QStringLiteral("Y"), QStringLiteral("x")}));
        QCOMPARE(shown(), QStringList({"x", "Y", "z"}));
        model.setText(0, ServerRowModel::DisplayName, QStringLiteral("A"));
        proxy.invalidate();
        QCOMPARE(shown(), QStringList({"A", "x", "Y"}));
    }
};

QTEST_GUILESS_MAIN(TestServerRowModel)
#include "tst_serverrowmodel.moc"
