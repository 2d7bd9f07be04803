#pragma once

#include <QString>

// Where a catalogue on a PostgreSQL server lives, as the operator writes it
// (SETUP/DATABASE, --database):
//     postgresql://USER@HOST:PORT/DBNAME?KEY=VALUE&...   (or postgres://)
// split into what Qt's QPSQL driver takes, which reads no URI: host, port,
// user name, database name and connect options. HOST may be a bracketed
// IPv6 address; PORT defaults to 5432; USER may be left out (libpq's
// default). A password is refused: libpq finds it in ~/.pgpass or
// PGPASSWORD, so it never stands in settings, command lines or logs.
class CatalogueUri final {
public:
    static constexpr int DefaultPort = 5432;
    // Added to the connect options when the URI sets none, so a host that
    // does not answer is given up after seconds, not minutes.
    static constexpr int DefaultConnectTimeoutSeconds = 5;

    // Invalid, with the reason in error(), when the text is no usable URI.
    static CatalogueUri parse(const QString& text);

    bool isValid() const { return m_valid; }
    QString error() const { return m_error; }

    QString host() const { return m_host; } // an IPv6 address without brackets
    int port() const { return m_port; }
    QString userName() const { return m_userName; } // empty: libpq's default
    QString databaseName() const { return m_databaseName; }
    // "key=value;key=value", as QSqlDatabase::setConnectOptions takes them.
    QString connectOptions() const { return m_connectOptions; }

    // The URI as it may be shown or logged: user, host, port and database.
    QString displayText() const;

private:
    QString read(const QString& text);

    bool m_valid = false;
    QString m_error;
    QString m_host;
    int m_port = DefaultPort;
    QString m_userName;
    QString m_databaseName;
    QString m_connectOptions;
};
