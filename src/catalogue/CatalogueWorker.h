#pragma once

#include "catalogue/CatalogueUri.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QString>

class QTimer;

// The catalogue's PostgreSQL connection, on a thread of its own: a network
// round trip can take longer than the window may wait. It listens for the
// changes other copies announce, checks every two seconds that the database
// is still there, reconnects with a growing pause (1 s to 60 s) when it is
// not, and keeps a read-only SQLite snapshot of the catalogue for the time
// the database is away. Everything but the constructor runs on its thread.
class CatalogueWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CatalogueWorker)
public:
    CatalogueWorker(const CatalogueUri& uri, const QString& snapshotPath);
    ~CatalogueWorker() override;

    // Makes db a connection to the database at uri, with the options every
    // connection of the catalogue uses.
    static void configure(QSqlDatabase& db, const CatalogueUri& uri);

    // One attempt to connect; true when the catalogue is ready. A failed
    // attempt schedules the next.
    bool connectNow();
    QSqlDatabase database() const;
    // After a statement failed: when the database is gone, goes offline.
    void verifyConnection();
    // Work inside a transaction is under way.
    void setInTransaction(bool inTransaction) { m_inTransaction = inTransaction; }
    // Why the last attempt failed (the database's own words), or what
    // refused the catalogue; empty when online.
    QString lastError() const { return m_lastError; }
    QString refusal() const { return m_refusal; }
    // Ends everything this thread holds, before the thread ends.
    void stop();

signals:
    void onlineChanged(bool online, const QString& why);
    // Whether this copy holds the one lock that makes it the sender of
    // channel messages for every copy sharing the catalogue.
    void senderChanged(bool sender);
    // Servers another copy changed; empty when everything should be read again.
    void serversChanged(const QList<qint64>& ids);

private:
    void goOffline(const QString& why);
    void scheduleReconnect();
    void heartbeat();
    void takeSenderRole();
    void setSender(bool sender);
    void notified(const QString& name, QSqlDriver::NotificationSource source,
                  const QVariant& payload);
    void announceChanges();
    void writeSnapshot();
    void closeConnection();

    const CatalogueUri m_uri;
    const QString m_snapshotPath;
    const QString m_connectionName;
    bool m_online = false;
    bool m_stopped = false;
    bool m_sender = false;
    bool m_inTransaction = false;
    int m_retryMs = FirstRetryMs;
    QString m_lastError;
    QString m_refusal;
    QSet<qint64> m_changed;
    bool m_changedAll = false;
    QTimer* m_heartbeat;
    QTimer* m_retry;
    QTimer* m_snapshotDelay;
    QTimer* m_announceDelay;

    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 60000;
};
