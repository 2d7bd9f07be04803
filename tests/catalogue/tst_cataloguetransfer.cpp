#include "FileSizeLimit.h"
#include "catalogue/MaintenanceCatalogue.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "platform/AppPaths.h"
#include "service/CatalogueTransfer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <array>

using CatalogueTransfer::ImportReport;

namespace {

// Requests and replies a catalogue may hold that the file forms must carry
// unchanged.
const QStringList HostileTexts = {
    QStringLiteral("GET / HTTP/1.1\r\nHost: \"a,b\"\r\n\r\n"),
    QStringLiteral("\"\"\""),
    QStringLiteral(","),
    QStringLiteral("  blanks around\t"),
    QStringLiteral("lone\rCR and lone\nLF\r"),
    QStringLiteral("CR\ronly"),
    QStringLiteral("\x01\x02\x1b[0m\x7f\\u0000\\"),
    QStringLiteral("ASC:80:73:78:71:13:10"),
    QStringLiteral("中文\u3000请求 😀 𠀀\u2028end"),
    QStringLiteral("=cmd|' /C calc'!A0"),
    QString(),
};

// TLS names an import takes.
const QStringList TlsNames = {
    QString(),
    QStringLiteral("svc.test"),
    QStringLiteral("::1"),
    QStringLiteral("名字.example"),
    QStringLiteral("fe80::1%eth0"),
    QStringLiteral("a-b_c.d"),
};

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

int serverCount() {
    return static_cast<int>(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).size());
}

QStringList refusals(const ImportReport& report) {
    QStringList lines;
    for (const CatalogueReader::Refusal& refusal : report.refused)
        lines.append(QStringLiteral("%1:%2").arg(refusal.line).arg(refusal.reason));
    return lines;
}

} // namespace

class TestCatalogueTransfer final : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    // An empty catalogue of its own in the test's folder.
    void openCatalogue(const QString& name) {
        ModuleDB::setDbPath(path(name));
        QVERIFY(ModuleDB::DbOpen());
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        AppPaths::setCurrent(AppPaths::portableIn(m_dir->path()));
        openCatalogue(QStringLiteral("ServerList.db"));
    }
    void cleanup() { ModuleDB::DbClose(); }

    void roundTripKeepsEveryByte_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("csv") << "servers.csv";
        QTest::newRow("json") << "servers.JSON";
    }
    void roundTripKeepsEveryByte() {
        QFETCH(QString, file);
        QList<ServerRecord> servers;
        for (qsizetype i = 0; i < HostileTexts.size(); ++i) {
            const QString& text = HostileTexts.at(i);
            ServerRecord server{0,
                                text.isEmpty() ? QStringLiteral("n") : text,
                                text + QStringLiteral("h"),
                                QString::number(i + 1),
                                text,
                                HostileTexts.at(HostileTexts.size() - 1 - i),
                                {},
                                i % 2 == 0,
                                static_cast<qint32>(i * 100)};
            server.checkKind =
                i % 2 == 0 ? ServerRecord::CheckKind::Tcp : ServerRecord::CheckKind::Http;
            server.tls = {static_cast<Transport>(i % 6), TlsNames.at(i % TlsNames.size()),
                          i % 3 == 0};
            server.certWarnDays = std::array{0, 14, 3650, 1}.at(i % 4);
            if (server.checkKind == ServerRecord::CheckKind::Tcp) {
                // Unchecked for a TCP row, so any text at all.
                server.url = text;
                server.httpMethod = HostileTexts.at((i + 1) % HostileTexts.size());
                server.httpHeaders = HostileTexts.at((i + 2) % HostileTexts.size());
                server.httpStatus = HostileTexts.at((i + 3) % HostileTexts.size());
                server.jsonCondition = HostileTexts.at((i + 4) % HostileTexts.size());
            } else {
                // An HTTP(S) row's fields are checked, and its address and
                // port are those of its URL.
                server.ipAddress = QStringLiteral("h%1.example").arg(i);
                server.url = QStringLiteral("https://%1:%2/a,b?q=\"x\"#f")
                                 .arg(server.ipAddress, server.port);
                server.httpMethod = QStringList{"GET", "HEAD", "POST", "PUT"}.at(i % 4);
                server.httpHeaders = QStringLiteral("X-Quote: \"a,b\"\r\n\r\nX-Formula: "
                                                    "=cmd|' /C calc'!A0\t中文");
                server.httpStatus = QStringLiteral("200-299, 301");
                server.jsonCondition = QStringLiteral("$[\"a,b\"][0] contains \"x\\\"y\\u2028\"");
            }
            server.httpRedirects = i % 2 == 1;
            server.parentId = i;
            server.locations = HostileTexts.at((i + 5) % HostileTexts.size());
            QCOMPARE(ServerCatalogue::AddServer(server), QString());
            QCOMPARE(ServerCatalogue::SetCertNotified(i + 1, text), QString());
            QCOMPARE(
                ModuleDB::DbExecute("update ServerList set Revision=? where ID=?", {i * 7, i + 1}),
                QString());
        }
        QVERIFY(ModuleDB::DbExecute("update ServerList set AddTime=? where ID=1",
                                    {QStringLiteral("2026/1/2 3:04:05, \"x\"")})
                    .isEmpty());
        const QList<ServerRecord> before =
            ServerCatalogue::SelectServers(ServerCatalogue::Selection::All);
        const CatalogueTransfer::ExportReport exported =
            CatalogueTransfer::ExportServers(path(file));
        QCOMPARE(exported.error, QString());
        QCOMPARE(exported.written, before.size());
        QFile written(path(file));
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray start = written.read(80);
        const QByteArray header = start + written.read(200);
        if (file.endsWith(QLatin1String(".csv")))
            QVERIFY(header.startsWith(
                "DisplayName,IPAddress,Port,PostData,ReplyData,AddTime,InUse,WarnMs,CheckKind,"
                "Transport,TlsName,TlsIgnoreErrors,CertWarnDays,CertNotified,Url,HttpMethod,"
                "HttpHeaders,HttpStatus,HttpRedirects,JsonCondition,ParentID,Locations,"
                "Revision,ID\r\n"));
        if (file.endsWith(QLatin1String(".csv")))
            QVERIFY(start.startsWith(
                "DisplayName,IPAddress,Port,PostData,ReplyData,AddTime,InUse,WarnMs,CheckKind,"));
        else
            QVERIFY(start.startsWith("[\n  {\n    \"DisplayName\": "));

        ModuleDB::DbClose();
        openCatalogue(QStringLiteral("Empty.db"));
        const ImportReport imported = CatalogueTransfer::ImportServers(path(file));
        QCOMPARE(imported.error, QString());
        QCOMPARE(refusals(imported), QStringList());
        QCOMPARE(imported.exitCode(), 0);
        const QList<ServerRecord> after =
            ServerCatalogue::SelectServers(ServerCatalogue::Selection::All);
        QCOMPARE(after.size(), before.size());
        for (qsizetype i = 0; i < after.size(); ++i) {
            QCOMPARE(after.at(i).postData.toUtf8(), before.at(i).postData.toUtf8());
            QCOMPARE(after.at(i).replyData.toUtf8(), before.at(i).replyData.toUtf8());
            QCOMPARE(after.at(i).displayName, before.at(i).displayName);
            QCOMPARE(after.at(i).ipAddress, before.at(i).ipAddress);
            QCOMPARE(after.at(i).port, before.at(i).port);
            QCOMPARE(after.at(i).addTime, before.at(i).addTime);
            QCOMPARE(after.at(i).inUse, before.at(i).inUse);
            QCOMPARE(after.at(i).warnMs, before.at(i).warnMs);
            ServerRecord same = after.at(i);
            same.id = before.at(i).id;
            QCOMPARE(same, before.at(i));
        }
    }

    // The import numbers the servers anew and maps each ParentID to the new
    // ID of the server it named in the file; a parent not in the file gives
    // none. The windows of a JSON file follow their servers likewise; a
    // window left over none of the file's is not added.
    void parentsFollowTheNewIds_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("csv") << "parents.csv";
        QTest::newRow("json") << "parents.json";
    }
    void parentsFollowTheNewIds() {
        QFETCH(QString, file);
        QMap<QString, qint64> idOf;
        for (const char* name : {"gone", "A", "B", "C", "D"}) {
            ServerRecord server{0, QString::fromLatin1(name), "h", "80", {}, {}, {}, true};
            server.parentId = idOf.value(name == QByteArray("B")   ? "A"
                                         : name == QByteArray("C") ? "B"
                                         : name == QByteArray("D") ? "gone"
                                                                   : "");
            QCOMPARE(ServerCatalogue::AddServer(server), QString());
            idOf.insert(QString::fromLatin1(name),
                        ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).last().id);
        }
        MaintenanceWindow window;
        window.kind = MaintenanceWindow::Kind::Weekly;
        window.days = 5;
        window.startTime = QTime(2, 0);
        window.minutes = 60;
        window.timeZone = "Europe/Berlin";
        window.note = "夜间";
        for (const QList<qint64>& servers : {QList<qint64>{idOf.value("B")},
                                             {idOf.value("gone"), idOf.value("D")},
                                             {idOf.value("gone")},
                                             {}}) {
            window.servers = servers;
            QCOMPARE(MaintenanceCatalogue::AddWindow(window), QString());
        }
        QCOMPARE(ModuleDB::DbExecute("delete from ServerList where ID=?", {idOf.value("gone")}),
                 QString());
        QCOMPARE(CatalogueTransfer::ExportServers(path(file)).error, QString());
        ModuleDB::DbClose();
        openCatalogue(QStringLiteral("Other.db"));
        for (const char* name : {"first", "second"})
            QCOMPARE(ServerCatalogue::AddServer({0, name, "h", "80", {}, {}, {}, true}), QString());
        QCOMPARE(CatalogueTransfer::ImportServers(path(file)).error, QString());
        QMap<QString, ServerRecord> byName;
        for (const ServerRecord& server :
             ServerCatalogue::SelectServers(ServerCatalogue::Selection::All))
            byName.insert(server.displayName, server);
        QCOMPARE(byName.value("A").parentId, 0);
        QCOMPARE(byName.value("B").parentId, byName.value("A").id);
        QCOMPARE(byName.value("C").parentId, byName.value("B").id);
        QCOMPARE(byName.value("D").parentId, 0);
        QVERIFY(byName.value("B").id != idOf.value("B"));
        const QList<MaintenanceWindow> windows = MaintenanceCatalogue::SelectWindows();
        if (file.endsWith(".csv")) {
            QVERIFY(windows.isEmpty());
            return;
        }
        QCOMPARE(windows.size(), 3);
        QCOMPARE(windows.at(0).servers, QList<qint64>{byName.value("B").id});
        QCOMPARE(windows.at(1).servers, QList<qint64>{byName.value("D").id});
        QVERIFY(windows.at(2).servers.isEmpty());
        MaintenanceWindow same = windows.at(2);
        same.id = 0;
        window.servers.clear();
        QCOMPARE(same, window);
    }

    // A file of an earlier version, without the columns added since, imports
    // as before: every later field takes its default.
    void olderFilesTakeTheDefaults_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("csv") << "old.csv"
                             << QByteArray("DisplayName,IPAddress,Port,PostData,ReplyData,AddTime,"
                                           "InUse,WarnMs\r\na,h,25,QUIT,220,2024/1/2 3:04:05,0,"
                                           "100\r\n");
        QTest::newRow("json") << "old.json"
                              << QByteArray("[{\"DisplayName\": \"a\", \"IPAddress\": \"h\", "
                                            "\"Port\": 25, \"PostData\": \"QUIT\", \"ReplyData\": "
                                            "\"220\", \"AddTime\": \"2024/1/2 3:04:05\", "
                                            "\"InUse\": 0, \"WarnMs\": 100, \"Transport\": null}]");
    }
    void olderFilesTakeTheDefaults() {
        QFETCH(QString, file);
        QFETCH(QByteArray, data);
        writeFile(path(file), data);
        const ImportReport report = CatalogueTransfer::ImportServers(path(file));
        QCOMPARE(report.exitCode(), 0);
        const ServerRecord server =
            ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).value(0);
        const ServerRecord expected{1,     "a", "h", "25", "QUIT", "220", "2024/1/2 3:04:05",
                                    false, 100};
        QCOMPARE(server, expected);
    }

    // Each refused row is named by the line it starts on; the others are added.
    void badRowsAreRefusedByLine_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("added");
        QTest::addColumn<QStringList>("refused");
        const QString noName = QStringLiteral("服务器名称不能为空！");
        const QString noAddress = QStringLiteral("服务器IP地址不能为空！");
        const QString badPort = QStringLiteral("目标端口必须是 1 到 65535 之间的整数！");
        QTest::newRow("csv") << "a.csv"
                             << QByteArray("\xEF\xBB\xBF"
                                           "DisplayName,IPAddress,Port,PostData\r\n"
                                           "ok,h,1,\"two\r\nlines\"\r\n"
                                           ",h,80,\r\n"
                                           "\r\n"
                                           "x,,80,\r\n"
                                           "x,h,0,\r\n"
                                           "x,h,65536,\r\n"
                                           "x,h,8a,\r\n"
                                           "x,h,,\r\n"
                                           "x,h,80\r\n"
                                           "ok, h ,\" 65535 \",\r\n")
                             << 2 << QStringList{"4:" + noName,
                                                 "6:" + noAddress,
                                                 "7:" + badPort,
                                                 "8:" + badPort,
                                                 "9:" + badPort,
                                                 "10:" + badPort,
                                                 "11:有 3 列,标题行有 4 列"};
        QTest::newRow("csv of the first columns only, another one unknown")
            << "b.csv" << QByteArray("port,Later,ipaddress,DisplayName\nx,y,h,n\n22,y,h,n\n") << 1
            << QStringList{"2:" + badPort};
        QTest::newRow("json")
            << "c.json"
            << QByteArray("[\n  {\"DisplayName\": \"ok\", \"IPAddress\": \"h\",\n"
                          "   \"Port\": 80, \"InUse\": false, \"Later\": [\"]},{\\\"\"]},\n"
                          "  {\"DisplayName\": \"x\", \"IPAddress\": \"h\"},\n"
                          "  \"text\", {\"DisplayName\": \"x\", \"IPAddress\": "
                          "\"h\", \"Port\": 80.5},\n"
                          "  {\"DisplayName\": {}, \"IPAddress\": \"h\", "
                          "\"Port\": 80},\n"
                          "  {\"DisplayName\": \"x\", \"IPAddress\": \"h\", "
                          "\"Port\": \"80\", \"InUse\": 2},\n"
                          "  {\"DisplayName\": \"[,{\\\"\", \"IPAddress\": "
                          "\"h\", \"Port\": \"443\", \"AddTime\": null}\n]")
            << 2
            << QStringList{"4:" + badPort, "5:不是一个服务器对象", "5:Port 的值不是整数",
                           "6:DisplayName 的值不是文字或数字", "7:启用监控只能是 0 或 1！"};
        // A value of a type its column does not take: a boolean or a
        // fraction where a whole number belongs, a boolean for a text. A
        // number is fine for a text, a boolean for the flag.
        QTest::newRow("json of wrong types")
            << "w.json"
            << QByteArray("[\n"
                          "{\"DisplayName\": \"a\", \"IPAddress\": \"h\", \"Port\": true},\n"
                          "{\"DisplayName\": \"b\", \"IPAddress\": \"h\", \"Port\": false},\n"
                          "{\"DisplayName\": \"c\", \"IPAddress\": \"h\", \"Port\": 80.5},\n"
                          "{\"DisplayName\": \"d\", \"IPAddress\": \"h\", \"Port\": 80, "
                          "\"WarnMs\": false},\n"
                          "{\"DisplayName\": \"e\", \"IPAddress\": \"h\", \"Port\": 80, "
                          "\"WarnMs\": 1.5},\n"
                          "{\"DisplayName\": \"f\", \"IPAddress\": \"h\", \"Port\": 80, "
                          "\"InUse\": 0.5},\n"
                          "{\"DisplayName\": true, \"IPAddress\": \"h\", \"Port\": 80},\n"
                          "{\"DisplayName\": \"g\", \"IPAddress\": \"h\", \"Port\": 80, "
                          "\"PostData\": false},\n"
                          "{\"DisplayName\": 12, \"IPAddress\": 1.5, \"Port\": 8e1, "
                          "\"WarnMs\": 100, \"InUse\": true},\n"
                          "{\"DisplayName\": \"h\", \"IPAddress\": \"h\", \"Port\": \"443\", "
                          "\"WarnMs\": \"0\", \"InUse\": 0}\n"
                          "]")
            << 2
            << QStringList{"2:Port 的值不是整数",
                           "3:Port 的值不是整数",
                           "4:Port 的值不是整数",
                           "5:WarnMs 的值不是整数",
                           "6:WarnMs 的值不是整数",
                           "7:InUse 的值不是整数",
                           "8:DisplayName 的值不是文字或数字",
                           "9:PostData 的值不是文字或数字"};
        // A name of spaces only is empty as the list shows it.
        QTest::newRow("csv, names of spaces")
            << "n.csv"
            << QByteArray("DisplayName,IPAddress,Port\r\n   ,h,80\r\n a ,h,80\r\n\" \",h,80\r\n")
            << 1 << QStringList{"2:" + noName, "4:" + noName};
        // A \u escape of half a surrogate pair would take the next character
        // for the other half; a whole pair, or an escaped backslash, is text.
        const QString lone = QStringLiteral("含有不成对的 \\u 代理项转义");
        QTest::newRow("json, lone surrogates and names of spaces")
            << "s.json"
            << QByteArray(
                   "[\n"
                   "{\"DisplayName\": \"a\\ud800b\", \"IPAddress\": \"h\", \"Port\": 80},\n"
                   "{\"DisplayName\": \"a\", \"IPAddress\": \"\\udc00x\", \"Port\": 80},\n"
                   "{\"DisplayName\": \"a\\ud800\", \"IPAddress\": \"h\", \"Port\": 80},\n"
                   "{\"DisplayName\": \"a\\ud800\\u0041\", \"IPAddress\": \"h\", \"Port\": 80},\n"
                   "{\"DisplayName\": \"  \", \"IPAddress\": \"h\", \"Port\": 80},\n"
                   "{\"DisplayName\": \"\\ud83d\\ude00\", \"IPAddress\": \"h\", \"Port\": 80},\n"
                   "{\"DisplayName\": \"\\\\ud800\", \"IPAddress\": \"h\", \"Port\": 80}\n"
                   "]")
            << 2 << QStringList{"2:" + lone, "3:" + lone, "4:" + lone, "5:" + lone, "6:" + noName};
    }
    // The columns of TLS, HTTP, dependency and revision refuse values they
    // cannot hold; every other row is added.
    void badValuesOfTheLaterColumnsAreRefused_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("refused");
        const QString transport = QStringLiteral("传输方式只能是空白、tls、starttls-smtp、starttls-"
                                                 "imap、starttls-pop3 或 starttls-ftp！");
        const QString blank = QStringLiteral("TLS主机名不能包含空格！");
        const QString scheme = QStringLiteral("TLS主机名不能包含协议(如 https://),只填主机名！");
        const QString port = QStringLiteral("TLS主机名不能包含端口,只填主机名！");
        const QString flag = QStringLiteral("忽略证书错误只能是 0 或 1！");
        const QString days = QStringLiteral("证书到期提醒(天)必须是0到3650之间的整数,0为不提醒！");
        QTest::newRow("csv") << "t.csv"
                             << QByteArray(
                                    "DisplayName,IPAddress,Port,Transport,TlsName,TlsIgnoreErrors,"
                                    "CertWarnDays,HttpRedirects,CheckKind,ParentID,Revision,Url\r\n"
                                    "a,h,443,tls,svc.test,1,30,0,http,2,5,https://svc.test\r\n"
                                    "b,h,21,starttls-ftp,::1,0,0,1,tcp,0,0,\r\n"
                                    "c,h,443,,,0,3650,1,tcp,0,0,\r\n"
                                    "d,h,443,ssl,,0,14,1,tcp,0,0,\r\n"
                                    "e,h,443,TLS,,0,14,1,tcp,0,0,\r\n"
                                    "f,h,443,tls,a b,0,14,1,tcp,0,0,\r\n"
                                    "h,h,443,tls,https://svc.test,0,14,1,tcp,0,0,\r\n"
                                    "i,h,443,tls,svc.test:443,0,14,1,tcp,0,0,\r\n"
                                    "k,h,443,tls,,2,14,1,tcp,0,0,\r\n"
                                    "l,h,443,tls,,0,3651,1,tcp,0,0,\r\n"
                                    "o,h,443,tls,,0,,1,tcp,0,0,\r\n"
                                    "p,h,443,tls,,0,14,yes,tcp,0,0,\r\n"
                                    "q,h,443,tls,,0,14,1,udp,0,0,\r\n"
                                    "r,h,443,tls,,0,14,1,tcp,-1,0,\r\n"
                                    "s,h,443,tls,,0,14,1,tcp,0,x,\r\n"
                                    "t,h,443,tls,fe80::1%eth0,0,14,1,tcp,0,0,\r\n")
                             << QStringList{"5:" + transport,
                                            "6:" + transport,
                                            "7:" + blank,
                                            "8:" + scheme,
                                            "9:" + port,
                                            "10:" + flag,
                                            "11:" + days,
                                            "12:" + days,
                                            "13:跟随重定向只能是 0 或 1！",
                                            "14:检查方式只能是 tcp 或 http！",
                                            "15:ParentID 必须是不小于 0 的整数！",
                                            "16:Revision 必须是不小于 0 的整数！"};
        QTest::newRow("json") << "t.json"
                              << QByteArray(
                                     "[\n"
                                     "{\"DisplayName\": \"a\", \"IPAddress\": \"h\", \"Port\": 25, "
                                     "\"Transport\": \"starttls-smtp\", \"TlsIgnoreErrors\": true, "
                                     "\"CertWarnDays\": 7, \"HttpRedirects\": false},\n"
                                     "{\"DisplayName\": \"b\", \"IPAddress\": \"h\", \"Port\": 25, "
                                     "\"CertWarnDays\": 7.5},\n"
                                     "{\"DisplayName\": \"c\", \"IPAddress\": \"h\", \"Port\": 25, "
                                     "\"TlsName\": \"a\u3000b\"},\n"
                                     "{\"DisplayName\": \"d\", \"IPAddress\": \"h\", \"Port\": 25, "
                                     "\"Transport\": 1},\n"
                                     "{\"DisplayName\": \"e\", \"IPAddress\": \"h\", \"Port\": 25, "
                                     "\"TlsIgnoreErrors\": 1, \"Transport\": null}\n"
                                     "]")
                              << QStringList{"3:CertWarnDays 的值不是整数", "4:" + blank,
                                             "5:" + transport};
    }
    void badValuesOfTheLaterColumnsAreRefused() {
        QFETCH(QString, file);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, refused);
        writeFile(path(file), data);
        const ImportReport report = CatalogueTransfer::ImportServers(path(file));
        QCOMPARE(report.error, QString());
        QCOMPARE(refusals(report), refused);
        const QList<ServerRecord> servers =
            ServerCatalogue::SelectServers(ServerCatalogue::Selection::All);
        QCOMPARE(servers.size(), report.added);
        if (file.endsWith(QLatin1String(".csv"))) {
            QCOMPARE(report.added, 4);
            const ServerRecord& first = servers.at(0);
            QCOMPARE(first.tls, (TlsOptions{Transport::Tls, "svc.test", true}));
            QCOMPARE(first.certWarnDays, 30);
            QVERIFY(!first.httpRedirects);
            QCOMPARE(first.checkKind, ServerRecord::CheckKind::Http);
            QCOMPARE(first.parentId, 0); // no server of the file had ID 2
            QCOMPARE(first.revision, 5);
            QCOMPARE(servers.at(1).tls.serverName, QStringLiteral("::1"));
            QCOMPARE(servers.at(3).tls.serverName, QStringLiteral("fe80::1%eth0"));
        } else {
            QCOMPARE(report.added, 2);
            QCOMPARE(servers.at(0).tls, (TlsOptions{Transport::StartTlsSmtp, {}, true}));
            QCOMPARE(servers.at(0).certWarnDays, 7);
            QVERIFY(servers.at(1).tls.isPlain() && servers.at(1).tls.ignoreErrors);
        }
    }

    // An HTTP(S) row is checked as the dialogs check it and refused with its
    // line and reason; its address and port come from its URL, whatever its
    // own columns hold.
    void httpRows_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<QStringList>("addresses"); // of the rows added, "address port"
        const QByteArray header("DisplayName,IPAddress,Port,CheckKind,Url,HttpMethod,HttpHeaders,"
                                "HttpStatus,JsonCondition\r\n");
        QTest::newRow("csv")
            << "h.csv"
            << header + "web,,,http,https://svc.example/health,GET,,200-299,\r\n"
                        "v6,old,1,http,http://[::1]:8080/?a=1,head,\"X-A: 1\r\nX-B: 2\","
                        "\"200,301\",$.ok == true\r\n"
                        "tcp,h,25,tcp,not a url,DELETE,no colon,2xx,$.a ==\r\n"
                        "a,h,80,http,,GET,,200-299,\r\n"
                        "b,h,80,http,svc.example/health,GET,,200-299,\r\n"
                        "c,h,80,http,https://u:p@svc.example/,GET,,200-299,\r\n"
                        "d,h,80,http,http://svc.example:0/,GET,,200-299,\r\n"
                        "e,h,80,http,http://svc.example/,DELETE,,200-299,\r\n"
                        "f,h,80,http,http://svc.example/,GET,Bearer x,200-299,\r\n"
                        "g,h,80,http,http://svc.example/,GET,,2xx,\r\n"
                        "h,h,80,http,http://svc.example/,GET,,600,\r\n"
                        "i,h,80,http,http://svc.example/,GET,,200-299,$.a == up\r\n"
                        ",h,80,http,http://svc.example/,GET,,200-299,\r\n"
                        "j,h,x,http,ftp://svc.example/,GET,,200-299,\r\n"
            << QStringList{"6:URL不能为空！",
                           "7:URL必须以 http:// 或 https:// 开头！",
                           "8:URL不能包含用户名和密码(user:password@),请把凭据写在请求头中！",
                           "9:URL中的端口必须是 1 到 65535 之间的整数！",
                           "10:请求方法只能是 GET、HEAD、POST 或 PUT！",
                           "11:请求头第 1 行没有冒号,应写成“名称: 值”！",
                           "12:接受的状态码“2xx”无效,只能是 100 到 599 之间的状态码或范围,如 "
                           "200-299,301！",
                           "13:接受的状态码“600”无效,只能是 100 到 599 之间的状态码或范围,如 "
                           "200-299,301！",
                           "14:JSON条件的值“up”无效:字符串要加双引号,数字和 true、false、null "
                           "不加！",
                           "15:服务器名称不能为空！",
                           "16:URL必须以 http:// 或 https:// 开头！"}
            << QStringList{"svc.example 443", "::1 8080", "h 25"};
        QTest::newRow("json")
            << "h.json"
            << QByteArray("[\n"
                          "{\"DisplayName\": \"web\", \"CheckKind\": \"http\", "
                          "\"Url\": \"http://127.0.0.1:8000/x\"},\n"
                          "{\"DisplayName\": \"a\", \"CheckKind\": \"http\", \"Port\": 443, "
                          "\"Url\": \"https://svc.example:65536/\"},\n"
                          "{\"DisplayName\": \"b\", \"CheckKind\": \"http\", "
                          "\"Url\": \"https://svc.example/\", \"JsonCondition\": \"a.b exists\"}\n"
                          "]")
            << QStringList{"3:URL中的端口必须是 1 到 65535 之间的整数！",
                           "4:JSON条件必须以 $ 开头,如 $.a.b[0].c == 1！"}
            << QStringList{"127.0.0.1 8000"};
    }
    void httpRows() {
        QFETCH(QString, file);
        QFETCH(QByteArray, data);
        writeFile(path(file), data);
        const ImportReport report = CatalogueTransfer::ImportServers(path(file));
        QCOMPARE(report.error, QString());
        QTEST(refusals(report), "refused");
        QStringList addresses;
        for (const ServerRecord& server :
             ServerCatalogue::SelectServers(ServerCatalogue::Selection::All))
            addresses.append(server.ipAddress + QLatin1Char(' ') + server.port);
        QTEST(addresses, "addresses");
        QCOMPARE(report.added, addresses.size());
    }

    void badRowsAreRefusedByLine() {
        QFETCH(QString, file);
        QFETCH(QByteArray, data);
        QFETCH(int, added);
        QFETCH(QStringList, refused);
        writeFile(path(file), data);
        const ImportReport report = CatalogueTransfer::ImportServers(path(file));
        QCOMPARE(report.error, QString());
        QCOMPARE(refusals(report), refused);
        QCOMPARE(report.added, added);
        QCOMPARE(report.exitCode(), 1);
        const QList<ServerRecord> servers =
            ServerCatalogue::SelectServers(ServerCatalogue::Selection::All);
        QCOMPARE(servers.size(), added);
        // Columns left out take the add dialog's defaults: monitored, stamped now.
        for (const ServerRecord& server : servers)
            QVERIFY(!server.addTime.isEmpty());
    }

    // A file is read a piece at a time: characters, quoted line breaks and
    // CR LF pairs cut by a piece's end still read whole, and lines count on.
    void longFilesReadAcrossPieces_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("shift"); // bytes before the rows, moving where pieces end
        for (int shift = 0; shift < 4; ++shift) {
            QTest::addRow("csv, shifted %d", shift) << "long.csv" << shift;
            QTest::addRow("json, shifted %d", shift) << "long.json" << shift;
        }
    }
    void longFilesReadAcrossPieces() {
        QFETCH(QString, file);
        QFETCH(int, shift);
        const bool json = file.endsWith(QLatin1String(".json"));
        const int rows = 3000; // about 250 KiB, several pieces
        const QString pad(shift, QLatin1Char('x'));
        QByteArray data =
            json ? QByteArray("[\n") : QByteArray("DisplayName,PostData,IPAddress,Port\r\n");
        for (int i = 0; i < rows; ++i) {
            const QString name = pad + QStringLiteral("服务器名称 %1 😀").arg(i);
            if (json)
                data += QStringLiteral("{\"DisplayName\": \"%1\", \"PostData\": \"a\\r\\nb 中\", "
                                       "\"IPAddress\": \"h\", \"Port\": %2},\n")
                            .arg(name)
                            .arg(1 + i % 65535)
                            .toUtf8();
            else
                data += QStringLiteral("%1,\"a\r\nb 中\",h,%2\r\n")
                            .arg(name)
                            .arg(1 + i % 65535)
                            .toUtf8();
        }
        data +=
            json ? QByteArray("{\"DisplayName\": \"last\", \"IPAddress\": \"h\", \"Port\": 0}\n]\n")
                 : QByteArray("last,,h,0\r\n");
        writeFile(path(file), data);
        const ImportReport report = CatalogueTransfer::ImportServers(path(file));
        QCOMPARE(report.error, QString());
        QCOMPARE(report.added, rows);
        // A CSV row takes two lines, a JSON row one.
        QCOMPARE(refusals(report),
                 QStringList{QStringLiteral("%1:目标端口必须是 1 到 65535 之间的整数！")
                                 .arg(json ? rows + 2 : 2 * rows + 2)});
        const QList<ServerRecord> servers =
            ServerCatalogue::SelectServers(ServerCatalogue::Selection::All);
        QCOMPARE(servers.size(), rows);
        for (int i = 0; i < rows; ++i) {
            QCOMPARE(servers.at(i).displayName, pad + QStringLiteral("服务器名称 %1 😀").arg(i));
            QCOMPARE(servers.at(i).postData, QStringLiteral("a\r\nb 中"));
        }
    }

    // Nothing is written when the file cannot be read as a whole, or when
    // the catalogue refuses one of its rows part way through.
    void unreadableFilesWriteNothing_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("data"); // null: no file at all
        QTest::addColumn<QString>("error");
        const QByteArray header("DisplayName,IPAddress,Port\r\n");
        QTest::newRow("missing") << "none.csv" << QByteArray() << "无法读取文件";
        QTest::newRow("empty") << "e.csv" << QByteArray("") << "文件是空的,没有标题行";
        QTest::newRow("quote left open") << "q.csv" << header + "a,h,80\r\nb,\"h\r\n,80\r\n"
                                         << "第 3 行:引号没有结束";
        QTest::newRow("quote inside a field") << "s.csv" << header + "a,h\"x,80\r\n"
                                              << "第 2 行:未加引号的字段中有引号";
        QTest::newRow("text after a quote") << "t.csv" << header + "a,\"h\"x,80\r\n"
                                            << "第 2 行:引号之后还有文字";
        QTest::newRow("no port column")
            << "p.csv" << QByteArray("DisplayName,IPAddress\r\na,h\r\n") << "标题行缺少 Port 列";
        QTest::newRow("column twice")
            << "d.csv" << QByteArray("DisplayName,IPAddress,Port,port\r\n")
            << "标题行中 Port 列出现了两次";
        QTest::newRow("not utf-8") << "g.csv" << header + "\xB7\xFE\xCE\xF1,h,80\r\n"
                                   << "文件不是 UTF-8 编码的文本";
        QTest::newRow("json syntax")
            << "j.json" << QByteArray("[\n{\"DisplayName\": \"a\",}\n]") << "第 2 行:JSON 格式错误";
        QTest::newRow("json not an array")
            << "o.json" << QByteArray("{\"DisplayName\": \"a\"}") << "文件不是服务器的 JSON 数组";
        QTest::newRow("catalogue refuses a row") << "r.csv" << header + "a,h,80\r\nboom,h,80\r\n"
                                                 << "boom";
    }
    void unreadableFilesWriteNothing() {
        QFETCH(QString, file);
        QFETCH(QByteArray, data);
        QFETCH(QString, error);
        QVERIFY(ModuleDB::DbExecute("create trigger refuse before insert on ServerList "
                                    "when new.DisplayName = 'boom' "
                                    "begin select raise(abort, 'boom'); end")
                    .isEmpty());
        QCOMPARE(ServerCatalogue::AddServer({0, "kept", "h", "1", {}, {}, {}, true}), QString());
        if (!data.isNull())
            writeFile(path(file), data);
        const ImportReport report = CatalogueTransfer::ImportServers(path(file));
        QVERIFY2(report.error.contains(error), qPrintable(report.error));
        QCOMPARE(report.exitCode(), 2);
        QCOMPARE(report.added, 0);
        QCOMPARE(serverCount(), 1);
    }

    // An export that cannot be written whole (a full disk, here a file size
    // limit) reports the failure and leaves the file it would replace as it was.
    void aFailedExportKeepsTheOldFile() {
        QCOMPARE(ServerCatalogue::AddServer({0, "a", "h", "1", {}, {}, {}, true}), QString());
        const QByteArray before("DisplayName,IPAddress,Port\r\nold,h,80\r\n");
        writeFile(path("servers.csv"), before);
        CatalogueTransfer::ExportReport report;
        {
            const FileSizeLimit full(8);
            report = CatalogueTransfer::ExportServers(path("servers.csv"));
        }
        QVERIFY2(report.error.startsWith(QStringLiteral("无法写入文件 ") + path("servers.csv")),
                 qPrintable(report.error));
        QFile file(path("servers.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(TestCatalogueTransfer)
#include "tst_cataloguetransfer.moc"
