#pragma once

#include "catalogue/CatalogueUri.h"
#include "catalogue/CatalogueWorker.h"
#include "catalogue/WorkerCall.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

// The main thread's side of the PostgreSQL catalogue: starts the worker
// thread that holds the connection, hands it work and waits for the answer
// (at most five seconds for work to begin), and knows whether the database
// is there.
class PostgresCatalogue final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PostgresCatalogue)
public:
    static constexpr int CallTimeOutMs = 5000;

    PostgresCatalogue(const CatalogueUri& uri, const QString& snapshotPath);
    ~PostgresCatalogue() override;

    // The first connection, waited for; the worker keeps trying after a failure.
    bool start();
    bool online() const { return m_online; }
    bool isSender() const { return m_sender; }
    // Why the database is not there, in its own words; empty when online.
    QString offlineReason() const { return m_offlineReason; }
    // What refused the database as a catalogue (one of a newer version).
    QString refusal() const { return m_refusal; }
    bool onWorkerThread() const { return QThread::currentThread() == &m_thread; }
    CatalogueWorker* worker() const { return m_worker; }

    template <typename Result> std::optional<Result> call(std::function<Result()> work) {
        return callOnWorker<Result>(m_worker, std::move(work), CallTimeOutMs);
    }

signals:
    void onlineChanged(bool online);
    void senderChanged();
    void serversChanged(const QList<qint64>& ids);

private:
    void setOnline(bool online, const QString& why);

    QThread m_thread;
    CatalogueWorker* m_worker;
    bool m_started = false;
    bool m_online = false;
    bool m_sender = false;
    QString m_offlineReason;
    QString m_refusal;
};
