#include "CatalogueTestSupport.h"
#include "catalogue/ServerCatalogue.h"
#include "catalogue/ui/DesignTexts.h"
#include "catalogue/ui/FormServer.h"
#include "catalogue/ui/FormServerEdit.h"
#include "catalogue/ui/MultiLineText.h"
#include "platform/gui/MessageBoxes.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {
using Boxes = QList<std::pair<QMessageBox::Icon, QString>>;

Boxes shownBoxes() {
    Boxes boxes;
    for (const auto& box : MessageBoxes::takeShown())
        boxes.append({box.icon, box.title});
    return boxes;
}

template <typename Widget> Widget* field(QWidget& dialog, const char* name) {
    auto* widget = dialog.findChild<Widget*>(QLatin1String(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

void click(QWidget& dialog, const char* button) {
    QTest::mouseClick(field<QPushButton>(dialog, button), Qt::LeftButton);
}

void setBox(QWidget& dialog, const char* name, const QString& text) {
    MultiLineText::setText(*field<QPlainTextEdit>(dialog, name), text);
}

ServerRecord stored() {
    const auto all = ServerCatalogue::SelectServers(ServerCatalogue::Selection::All);
    return all.size() == 1 ? all.first() : ServerRecord{};
}

ServerRecord loopbackRecord() {
    const QString crlf = QStringLiteral("\r\n");
    return {0,
            QStringLiteral("web"),
            QStringLiteral("127.0.0.1"),
            QStringLiteral("8080"),
            QStringLiteral("GET /") + crlf,
            QStringLiteral("200") + crlf,
            {},
            false};
}

ServerRecord addRecord(const ServerRecord& record) {
    ServerCatalogue::AddServer(record);
    return ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).value(0);
}
} // namespace

class TestServerEditor final : public QObject {
    Q_OBJECT
private slots:
    void init() { MessageBoxes::setTestMode(true); }
    void cleanup() { MessageBoxes::setTestMode(false); }

    void addWithDesignValuesStaysOpen() {
        TemporaryCatalogue catalogue;
        FormServer form;
        form.show();
        QSignalSpy changed(&form, &FormServer::catalogueChanged);
        QTest::keyClicks(field<QLineEdit>(form, "TextDisplayName"), QStringLiteral("web"));
        QTest::keyClicks(field<QLineEdit>(form, "TextIPAddress"), QStringLiteral("127.0.0.1"));
        const QDateTime before = QDateTime::currentDateTime();
        click(form, "CmdSave");
        const QDateTime after = QDateTime::currentDateTime();

        const auto shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().icon, QMessageBox::Information);
        QCOMPARE(shown.first().title, QStringLiteral("恭喜,添加成功"));
        QCOMPARE(shown.first().text, QStringLiteral("添加新服务器信息成功"));
        auto* state = field<QLabel>(form, "lb_WskState");
        QCOMPARE(state->text(), QStringLiteral("提示：添加新服务器信息成功"));
        QTRY_COMPARE(state->text(), QStringLiteral("SOCKET[IP::0] 状态:关闭"));

        const ServerRecord server = stored();
        QCOMPARE(server.port, QStringLiteral("80"));
        QCOMPARE(server.postData, DesignTexts::defaultRequest());
        QCOMPARE(server.replyData, QStringLiteral("HTTP/1.1 200 OK\r\n"));
        QVERIFY(server.inUse);
        QVERIFY(server.addTime == ServerCatalogue::AddTimeText(before) ||
                server.addTime == ServerCatalogue::AddTimeText(after));
        QVERIFY(form.isVisible());
        QCOMPARE(changed.count(), 0);

        click(form, "CmdSave");
        QCOMPARE(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).size(), 2);
    }

    void valuesAreStoredAsTyped_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("request");
        QTest::newRow("quote") << QStringLiteral("O'Brien's \"box\"") << QStringLiteral("GET '/'");
        QTest::newRow("wildcards") << QStringLiteral("100%_[a]") << QStringLiteral("%s%d");
        QTest::newRow("line breaks")
            << QStringLiteral("x") << QStringLiteral("a\r\n\r\nb'; --\r\n");
        QTest::newRow("chinese") << QStringLiteral("服务器") << QStringLiteral("你好");
    }
    void valuesAreStoredAsTyped() {
        QFETCH(QString, name);
        QFETCH(QString, request);
        TemporaryCatalogue catalogue;
        FormServer form;
        field<QLineEdit>(form, "TextDisplayName")->setText(name);
        field<QLineEdit>(form, "TextIPAddress")->setText(QStringLiteral("127.0.0.1"));
        setBox(form, "TextPostData", request);
        field<QCheckBox>(form, "CheckInUse")->setChecked(false);
        click(form, "CmdSave");
        QCOMPARE(shownBoxes(),
                 Boxes({{QMessageBox::Information, QStringLiteral("恭喜,添加成功")}}));
        QCOMPARE(stored().displayName, name);
        QCOMPARE(stored().postData, request);
        QVERIFY(!stored().inUse);
    }

    void emptyNameOrAddressIsRefused_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focused");
        QTest::newRow("no name") << QString() << QStringLiteral("127.0.0.1")
                                 << QStringLiteral("服务器名称不能为空！") << "TextDisplayName";
        QTest::newRow("no address") << QStringLiteral("web") << QString()
                                    << QStringLiteral("服务器IP地址不能为空！") << "TextIPAddress";
        QTest::newRow("neither") << QString() << QString() << QStringLiteral("服务器名称不能为空！")
                                 << "TextDisplayName";
    }
    void emptyNameOrAddressIsRefused() {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, message);
        QFETCH(QString, focused);
        TemporaryCatalogue catalogue;
        FormServer form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        field<QLineEdit>(form, "TextDisplayName")->setText(name);
        field<QLineEdit>(form, "TextIPAddress")->setText(address);
        click(form, "CmdSave");
        const auto shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, message);
        QCOMPARE(QApplication::focusWidget()->objectName(), focused);
        QVERIFY(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).isEmpty());
    }

    void failedAddIsReportedAndLeavesTheDialogOpen() {
        TemporaryCatalogue catalogue;
        FormServer form;
        form.show();
        field<QLineEdit>(form, "TextDisplayName")->setText(QStringLiteral("web"));
        field<QLineEdit>(form, "TextIPAddress")->setText(QStringLiteral("127.0.0.1"));
        ModuleDB::DbClose();
        click(form, "CmdSave");
        const auto shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().icon, QMessageBox::Critical);
        QCOMPARE(shown.first().title, QStringLiteral("对不起,添加失败"));
        QVERIFY(!shown.first().text.isEmpty());
        QVERIFY(form.isVisible());
    }

    void onlyExitAsksForAReload() {
        FormServer exited;
        QSignalSpy exitSpy(&exited, &FormServer::catalogueChanged);
        exited.show();
        click(exited, "CmdCancel");
        QCOMPARE(exitSpy.count(), 1);
        QVERIFY(!exited.isVisible());

        FormServer framed;
        QSignalSpy frameSpy(&framed, &FormServer::catalogueChanged);
        framed.show();
        framed.close();
        QCOMPARE(frameSpy.count(), 0);
    }

    void editNeedsASelectedRow() {
        QVERIFY(!FormServerEdit::forSelection(std::nullopt));
        QVERIFY(!FormServerEdit::forSelection(ServerRecord{}));
        ServerRecord row = loopbackRecord();
        row.id = 7;
        const auto form = FormServerEdit::forSelection(row);
        QVERIFY(form);
        QCOMPARE(field<QLabel>(*form, "lbID")->text(), QStringLiteral("7"));
        QCOMPARE(MultiLineText::text(*field<QPlainTextEdit>(*form, "TextPostData")), row.postData);
        QVERIFY(!field<QCheckBox>(*form, "CheckInUse")->isChecked());
    }

    void editTitleFollowsTheAddress() {
        FormServerEdit form(loopbackRecord());
        form.show();
        for (int i = 0; i < 3; ++i)
            form.repaint();
        QCOMPARE(form.windowTitle(), QStringLiteral("编辑服务器信息[127.0.0.1]"));
        field<QLineEdit>(form, "TextIPAddress")->setText(QStringLiteral("localhost"));
        form.repaint();
        QCOMPARE(form.windowTitle(), QStringLiteral("编辑服务器信息[localhost]"));
    }

    void saveEdit_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<Boxes>("boxes");
        QTest::addColumn<int>("reloads");
        QTest::newRow("saved") << true
                               << Boxes{{QMessageBox::Information, QStringLiteral("恭喜,编辑成功")}}
                               << 1;
        QTest::newRow("failed") << false
                                << Boxes{{QMessageBox::Critical, QStringLiteral("对不起,保存失败")}}
                                << 0;
    }
    void saveEdit() {
        QFETCH(bool, connected);
        QFETCH(Boxes, boxes);
        QFETCH(int, reloads);
        TemporaryCatalogue catalogue;
        FormServerEdit form(addRecord(loopbackRecord()));
        form.show();
        QSignalSpy changed(&form, &FormServerEdit::catalogueChanged);
        field<QLineEdit>(form, "TextDisplayName")->setText(QStringLiteral("it's new"));
        if (!connected)
            ModuleDB::DbClose();
        click(form, "CmdSave");
        QCOMPARE(shownBoxes(), boxes);
        QCOMPARE(changed.count(), reloads);
        QCOMPARE(form.isVisible(), !connected);
        ModuleDB::DbOpen();
        QCOMPARE(stored().displayName == QStringLiteral("it's new"), connected);
        QCOMPARE(stored().postData, loopbackRecord().postData);
    }

    void deleteServer_data() {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<Boxes>("boxes");
        QTest::addColumn<bool>("deleted");
        const std::pair<QMessageBox::Icon, QString> question{QMessageBox::Question,
                                                             QStringLiteral("确认？")};
        QTest::newRow("cancelled") << QMessageBox::Cancel << true << Boxes{question} << false;
        QTest::newRow("confirmed") << QMessageBox::Ok << true << Boxes{question} << true;
        QTest::newRow("failed") << QMessageBox::Ok << false
                                << Boxes{question,
                                         {QMessageBox::Critical, QStringLiteral("对不起,删除失败")}}
                                << false;
    }
    void deleteServer() {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, connected);
        QFETCH(Boxes, boxes);
        QFETCH(bool, deleted);
        TemporaryCatalogue catalogue;
        FormServerEdit form(addRecord(loopbackRecord()));
        form.show();
        QSignalSpy changed(&form, &FormServerEdit::catalogueChanged);
        if (!connected)
            ModuleDB::DbClose();
        MessageBoxes::queueAnswer(answer);
        click(form, "CmdDel");
        const auto shown = MessageBoxes::takeShown();
        QCOMPARE(shown.first().text, QStringLiteral("确定删除该服务器信息?\r\n删除后无法恢复!"));
        Boxes seen;
        for (const auto& box : shown)
            seen.append({box.icon, box.title});
        QCOMPARE(seen, boxes);
        QCOMPARE(changed.count(), deleted ? 1 : 0);
        QCOMPARE(form.isVisible(), !deleted);
        ModuleDB::DbOpen();
        QCOMPARE(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).isEmpty(),
                 deleted);
    }

    void templateByPort_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("toolTip");
        const QString none = QStringLiteral("数据库中无该端口信息");
        QTest::newRow("found, trimmed") << QStringLiteral(" 47001 ") << QStringLiteral("PING")
                                        << QStringLiteral("端口类型[Echo]");
        QTest::newRow("empty request")
            << QStringLiteral("47002") << DesignTexts::defaultRequest() << none;
        QTest::newRow("unknown port")
            << QStringLiteral("47003") << DesignTexts::defaultRequest() << none;
        QTest::newRow("not a number")
            << QStringLiteral("47001x") << DesignTexts::defaultRequest() << none;
        QTest::newRow("empty") << QString() << DesignTexts::defaultRequest() << none;
    }
    void templateByPort() {
        QFETCH(QString, port);
        QFETCH(QString, request);
        QFETCH(QString, toolTip);
        TemporaryCatalogue catalogue;
        const QString insert = QStringLiteral(
            "insert into SendData (port, SendData, ReplyData, ServerType) values (?, ?, ?, ?)");
        QCOMPARE(ModuleDB::DbExecute(insert, {47001, QStringLiteral("PING"), QStringLiteral("PONG"),
                                              QStringLiteral("Echo")}),
                 QString());
        QCOMPARE(ModuleDB::DbExecute(
                     insert, {47002, QString(), QStringLiteral("x"), QStringLiteral("Empty")}),
                 QString());
        FormServer form;
        field<QLineEdit>(form, "TextPort")->setText(port);
        click(form, "CmdAuto");
        QCOMPARE(MultiLineText::text(*field<QPlainTextEdit>(form, "TextPostData")), request);
        QCOMPARE(field<QLineEdit>(form, "TextPort")->toolTip(), toolTip);
    }

    void testButtonWritesIntoTheExpectedReply_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("hex is plain text here")
            << QStringLiteral("HEX:48:49") << QByteArray("HEX:48:49");
        QTest::newRow("asc codes") << QStringLiteral("asc:72:73") << QByteArray("HI");
    }
    void testButtonWritesIntoTheExpectedReply() {
        QFETCH(QString, request);
        QFETCH(QByteArray, sent);
        LoopbackServer server("HTTP/1.1 204 No Content\r\n");
        FormServer form;
        field<QLineEdit>(form, "TextIPAddress")->setText(QStringLiteral("127.0.0.1"));
        field<QLineEdit>(form, "TextPort")->setText(QString::number(server.port()));
        setBox(form, "TextPostData", request);
        click(form, "CmdTest");
        auto* reply = field<QPlainTextEdit>(form, "TextReplyData");
        QTRY_COMPARE(MultiLineText::text(*reply), QStringLiteral("HTTP/1.1 204 No Content\r\n"));
        QCOMPARE(server.received, sent);
        QTRY_VERIFY(field<QLabel>(form, "lb_WskState")
                        ->text()
                        .startsWith(QStringLiteral("SOCKET[IP:127.0.0.1:")));
    }
};

QTEST_MAIN(TestServerEditor)
#include "tst_servereditor.moc"
