#include "catalogue/CatalogueUri.h"

#include <QTest>

// Written into the URIs that carry a password; no reason and no display
// text may repeat it.
constexpr auto Secret = "Geheim-42";

class TestCatalogueUri final : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: the text is refused
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("cue"); // in the reason for refusing

        const auto accepted = [](const char* tag, const QString& text, const QString& host,
                                 int port, const QString& user, const QString& database,
                                 const QString& options, const QString& display) {
            QTest::newRow(tag) << text << host << port << user << database << options << display
                               << QString();
        };
        const auto refused = [](const char* tag, const QString& text, const QString& cue) {
            QTest::newRow(tag) << text << QString() << 0 << QString() << QString() << QString()
                               << QString() << cue;
        };

        accepted("all parts", "postgresql://monitor@db.example.com:6432/servers?sslmode=require",
                 "db.example.com", 6432, "monitor", "servers", "sslmode=require;connect_timeout=5",
                 "postgresql://monitor@db.example.com:6432/servers");
        accepted("short scheme, no user, default port", "postgres://10.0.0.5/catalogue", "10.0.0.5",
                 5432, "", "catalogue", "connect_timeout=5",
                 "postgresql://10.0.0.5:5432/catalogue");
        accepted("IPv6 literal", "postgresql://ops@[::1]:5433/servermon", "::1", 5433, "ops",
                 "servermon", "connect_timeout=5", "postgresql://ops@[::1]:5433/servermon");
        accepted("own time-out kept, order kept",
                 "postgresql://h/db?connect_timeout=2&application_name=servermon"
                 "&target_session_attrs=read-write",
                 "h", 5432, "", "db",
                 "connect_timeout=2;application_name=servermon;target_session_attrs=read-write",
                 "postgresql://h:5432/db");
        accepted("certificate files",
                 "postgresql://h/db?sslmode=verify-full&sslrootcert=/etc/ssl/ca.pem", "h", 5432, "",
                 "db", "sslmode=verify-full;sslrootcert=/etc/ssl/ca.pem;connect_timeout=5",
                 "postgresql://h:5432/db");
        accepted("percent-encoded user and database",
                 "postgresql://%E8%BF%90%E7%BB%B4@h/%E7%9B%91%E6%8E%A7%20a", "h", 5432,
                 QStringLiteral("运维"), QStringLiteral("监控 a"), "connect_timeout=5",
                 QStringLiteral("postgresql://运维@h:5432/监控 a"));
        accepted("blanks around, capitals", "  POSTGRESQL://Ops@DB.Example.COM/Servers\n",
                 "db.example.com", 5432, "Ops", "Servers", "connect_timeout=5",
                 "postgresql://Ops@db.example.com:5432/Servers");
        accepted("empty port and stray ampersands", "postgresql://h:/db?&sslmode=disable&&", "h",
                 5432, "", "db", "sslmode=disable;connect_timeout=5", "postgresql://h:5432/db");

        refused("empty", "  ", QStringLiteral("不能为空"));
        refused("other scheme", "mysql://h/db", QStringLiteral("postgresql://"));
        refused("no slashes after the scheme", "postgresql:h/db", QStringLiteral("postgresql://"));
        refused("password", QStringLiteral("postgresql://monitor:%1@h/db").arg(Secret),
                QStringLiteral("PGPASSWORD"));
        refused("password with an unescaped @",
                QStringLiteral("postgresql://monitor:%1@x@h/db").arg(Secret),
                QStringLiteral("PGPASSWORD"));
        refused("password parameter", QStringLiteral("postgresql://h/db?password=%1").arg(Secret),
                QStringLiteral("PGPASSWORD"));
        refused("no host", "postgresql:///db", QStringLiteral("缺少主机名"));
        refused("user but no host", "postgresql://monitor@/db", QStringLiteral("缺少主机名"));
        refused("host not valid", "postgresql://ho st/db", QStringLiteral("主机不是有效的"));
        refused("IPv6 without brackets", "postgresql://::1/db", QStringLiteral("主机不是有效的"));
        refused("no database", "postgresql://h", QStringLiteral("缺少数据库名"));
        refused("empty database", "postgresql://h:5432/", QStringLiteral("缺少数据库名"));
        refused("database with a slash", "postgresql://h/db/more", QStringLiteral("“/”"));
        refused("port 0", "postgresql://h:0/db", QStringLiteral("1 到 65535"));
        refused("port too high", "postgresql://h:65536/db", QStringLiteral("1 到 65535"));
        refused("port not a number", "postgresql://h:pg/db", QStringLiteral("1 到 65535"));
        refused("IPv6 port too high", "postgresql://[::1]:99999/db", QStringLiteral("1 到 65535"));
        refused("fragment", "postgresql://h/db#x", QStringLiteral("格式不正确"));
        refused("blank in the path", "postgresql://h/d b", QStringLiteral("格式不正确"));
        refused("unknown parameter", "postgresql://h/db?sslmode=require&host=other",
                QStringLiteral("“host”不受支持"));
        refused("server options", "postgresql://h/db?options=-cx", QStringLiteral("“options”"));
        refused("parameter twice", "postgresql://h/db?sslmode=require&sslmode=disable",
                QStringLiteral("“sslmode”重复"));
        refused("parameter without value", "postgresql://h/db?sslmode",
                QStringLiteral("“sslmode”缺少值"));
        refused("semicolon in a value", "postgresql://h/db?application_name=a%3Bhost%3Dother",
                QStringLiteral("分号"));
        refused("equals sign in a value", "postgresql://h/db?application_name=a%3Db",
                QStringLiteral("等号"));
        refused("blank in a value", "postgresql://h/db?sslrootcert=/my%20ca.pem",
                QStringLiteral("空格"));
    }
    void parse() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, user);
        QFETCH(QString, database);
        QFETCH(QString, options);
        QFETCH(QString, display);
        QFETCH(QString, cue);

        const CatalogueUri uri = CatalogueUri::parse(text);
        QCOMPARE(uri.isValid(), !host.isEmpty());
        if (uri.isValid()) {
            QCOMPARE(uri.error(), QString());
            QCOMPARE(uri.host(), host);
            QCOMPARE(uri.port(), port);
            QCOMPARE(uri.userName(), user);
            QCOMPARE(uri.databaseName(), database);
            QCOMPARE(uri.connectOptions(), options);
            QCOMPARE(uri.displayText(), display);
        } else {
            QVERIFY2(uri.error().contains(cue), qPrintable(uri.error()));
            QCOMPARE(uri.host(), QString());
            QCOMPARE(uri.databaseName(), QString());
            QCOMPARE(uri.displayText(), QString());
        }
        QVERIFY(!uri.error().contains(QLatin1String(Secret)));
        QVERIFY(!uri.displayText().contains(QLatin1String(Secret)));
    }
};

QTEST_GUILESS_MAIN(TestCatalogueUri)
#include "tst_catalogueuri.moc"
