#pragma once

#include <QSqlDatabase>
#include <QString>

// The private PostgreSQL cluster scripts/pg-cluster.sh starts for the
// benchmark, found through the SERVERMON_TEST_PG_* variables of its env
// file (on a loopback address only): a fresh database on it, and plain
// connections to that database.
// libpq reads the password from PGPASSWORD (set from the env file when
// missing), so the catalogue's URIs never carry it.
class PgBenchCluster final {
public:
    PgBenchCluster();

    // Empty when the cluster's address and Qt's driver are there; else why not.
    QString unavailableReason() const;

    // An empty database of that name (any earlier one dropped); its URI.
    // Empty, with the server's words in *error, when refused.
    QString createDatabase(const QString& name, QString* error) const;

    // A plain connection of that name to the database, open unless refused.
    QSqlDatabase connect(const QString& connectionName, const QString& database) const;

private:
    QString m_host;
    int m_port = 0;
    QString m_userName;
    QString m_password;
};
