#include "PgBenchCluster.h"

#include "catalogue/SqlErrorText.h"

#include <QHostAddress>
#include <QSqlQuery>
#include <QUrl>

PgBenchCluster::PgBenchCluster()
    : m_host(qEnvironmentVariable("SERVERMON_TEST_PG_HOST"))
    , m_port(qEnvironmentVariableIntValue("SERVERMON_TEST_PG_PORT"))
    , m_userName(qEnvironmentVariable("SERVERMON_TEST_PG_USER"))
    , m_password(qEnvironmentVariable("SERVERMON_TEST_PG_PASSWORD")) {
    if (qEnvironmentVariableIsEmpty("PGPASSWORD") && !m_password.isEmpty())
        qputenv("PGPASSWORD", m_password.toUtf8());
}

QString PgBenchCluster::unavailableReason() const {
    if (m_host.isEmpty() || m_port <= 0 || m_userName.isEmpty() || m_password.isEmpty())
        return QStringLiteral("no PostgreSQL cluster: start one with scripts/pg-cluster.sh "
                              "start DIR and source DIR/env");
    // The benchmark talks to this machine only.
    if (!QHostAddress(m_host).isLoopback())
        return QStringLiteral("the cluster's host %1 is no loopback address").arg(m_host);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QStringLiteral("Qt's QPSQL driver is missing (libqt6sql6-psql)");
    return {};
}

QString PgBenchCluster::createDatabase(const QString& name, QString* error) const {
    const QString connectionName = QStringLiteral("pg_bench-admin");
    bool created = false;
    {
        QSqlDatabase admin = connect(connectionName, QStringLiteral("postgres"));
        if (admin.isOpen()) {
            QString quoted = name;
            quoted.replace(u'"', QStringLiteral("\"\""));
            quoted = u'"' + quoted + u'"';
            QSqlQuery query(admin);
            created =
                query.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(quoted)) &&
                query.exec(QStringLiteral("CREATE DATABASE %1").arg(quoted));
            if (!created)
                *error = sqlErrorText(query.lastError());
        } else {
            *error = sqlErrorText(admin.lastError());
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    if (!created)
        return {};
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(QString::fromUtf8(QUrl::toPercentEncoding(m_userName)), m_host,
             QString::number(m_port), QString::fromUtf8(QUrl::toPercentEncoding(name)));
}

QSqlDatabase PgBenchCluster::connect(const QString& connectionName, const QString& database) const {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(m_host);
    db.setPort(m_port);
    db.setUserName(m_userName);
    db.setDatabaseName(database);
    // Quiet: no notice that a database to drop did not exist.
    db.setConnectOptions(QStringLiteral("connect_timeout=5;options=-cclient_min_messages=warning"));
    db.open();
    return db;
}
