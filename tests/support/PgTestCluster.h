#pragma once

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>
#include <QUuid>

#include <unistd.h>

// The private PostgreSQL cluster scripts/pg-cluster.sh starts for a test run
// (scripts/test.sh does), found through the SERVERMON_TEST_PG_* variables of
// the folder's env file. Every test using it shares it: one that stops the
// server stops it for all of them, so tests/CMakeLists.txt keeps them from
// running side by side.
class PgTestCluster final {
public:
    PgTestCluster() = delete;

    static QString host() { return qEnvironmentVariable("SERVERMON_TEST_PG_HOST"); }
    static int port() { return qEnvironmentVariableIntValue("SERVERMON_TEST_PG_PORT"); }
    static QString userName() { return qEnvironmentVariable("SERVERMON_TEST_PG_USER"); }
    static QString password() { return qEnvironmentVariable("SERVERMON_TEST_PG_PASSWORD"); }
    static QString folder() { return qEnvironmentVariable("SERVERMON_TEST_PG_DIR"); }

    // SERVERMON_REQUIRE_PG=1 (the test scripts): a missing cluster fails the
    // test instead of skipping it.
    static bool required() { return qEnvironmentVariable("SERVERMON_REQUIRE_PG") == u"1"; }

    static QString unavailableReason() {
        if (host().isEmpty() || port() <= 0 || userName().isEmpty() || password().isEmpty() ||
            folder().isEmpty() || qEnvironmentVariable("SERVERMON_TEST_PG_CTL").isEmpty())
            return QStringLiteral("no PostgreSQL test cluster: start one with "
                                  "scripts/pg-cluster.sh start DIR and source DIR/env");
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
            return QStringLiteral("Qt's QPSQL driver is missing (libqt6sql6-psql)");
        return {};
    }
    static bool available() { return unavailableReason().isEmpty(); }

    // libpq reads the password from PGPASSWORD, in this process and in the
    // programs it starts, so URIs and command lines never carry it.
    static void exportPassword() { qputenv("PGPASSWORD", password().toUtf8()); }

    // An empty database of that name (any one before it dropped, sessions
    // and all); its URI, without the password. Empty, with a warning, when
    // the server refuses.
    static QString createDatabase(const QString& name) {
        const QString connection =
            QStringLiteral("PgTestCluster-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        bool created = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setHostName(host());
            db.setPort(port());
            db.setUserName(userName());
            db.setPassword(password());
            db.setDatabaseName(QStringLiteral("postgres"));
            // Quiet: no notice that the database to drop did not exist.
            db.setConnectOptions(
                QStringLiteral("connect_timeout=5;options=-cclient_min_messages=warning"));
            if (db.open()) {
                QString quoted = name;
                quoted.replace(u'"', QStringLiteral("\"\""));
                quoted = u'"' + quoted + u'"';
                QSqlQuery query(db);
                created =
                    query.exec(
                        QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(quoted)) &&
                    query.exec(QStringLiteral("CREATE DATABASE %1").arg(quoted));
                if (!created)
                    qWarning("PgTestCluster: %s", qPrintable(query.lastError().text()));
            } else {
                qWarning("PgTestCluster: %s", qPrintable(db.lastError().text()));
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        if (!created)
            return {};
        return QStringLiteral("postgresql://%1@%2:%3/%4")
            .arg(QString::fromUtf8(QUrl::toPercentEncoding(userName())), host(),
                 QString::number(port()), QString::fromUtf8(QUrl::toPercentEncoding(name)));
    }

    // A test's own connection of that name to the database, opened on
    // first use (a warning when refused).
    static QSqlDatabase connection(const QString& name, const QString& database) {
        if (QSqlDatabase::contains(name))
            return QSqlDatabase::database(name);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(host());
        db.setPort(port());
        db.setUserName(userName());
        db.setDatabaseName(database);
        if (!db.open())
            qWarning("PgTestCluster: %s", qPrintable(db.lastError().text()));
        return db;
    }

    // The server going away and coming back, with the same address, port
    // and socket folder (they live in its configuration).
    static bool stopServer() {
        return pgCtl({QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("fast")});
    }
    static bool startServer() {
        return pgCtl({QStringLiteral("start"), QStringLiteral("-l"),
                      QDir(folder()).filePath(QStringLiteral("log"))});
    }

private:
    // pg_ctl as the cluster's owner: postgres when the tests run as root
    // (initdb refuses root), else the user running them.
    static bool pgCtl(const QStringList& action) {
        QStringList arguments{QStringLiteral("-D"), QDir(folder()).filePath(QStringLiteral("data")),
                              QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30")};
        arguments += action;
        QString program = qEnvironmentVariable("SERVERMON_TEST_PG_CTL");
        if (::geteuid() == 0) {
            arguments.prepend(program);
            arguments = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                    QStringLiteral("--")} +
                        arguments;
            program = QStringLiteral("runuser");
        }
        QProcess process;
        // The owner may not enter the test's working folder.
        process.setWorkingDirectory(folder());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            qWarning("PgTestCluster: pg_ctl %s failed: %s", qPrintable(action.first()),
                     process.readAll().constData());
            return false;
        }
        return true;
    }
};

// The first line of a PostgreSQL test: skips it without a cluster, or fails
// it when the run requires one.
#define PG_TEST_CLUSTER_OR_SKIP()                                                                  \
    do {                                                                                           \
        if (!PgTestCluster::available()) {                                                         \
            if (PgTestCluster::required())                                                         \
                QFAIL(qPrintable(PgTestCluster::unavailableReason()));                             \
            QSKIP(qPrintable(PgTestCluster::unavailableReason()));                                 \
        }                                                                                          \
    } while (false)
