#include "catalogue/PostgresCatalogue.h"

#include "catalogue/CatalogueWorker.h"

PostgresCatalogue::PostgresCatalogue(const CatalogueUri& uri, const QString& snapshotPath)
    : m_worker(new CatalogueWorker(uri, snapshotPath)) {
    m_thread.setObjectName(QStringLiteral("catalogue"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &CatalogueWorker::onlineChanged, this, &PostgresCatalogue::setOnline);
    connect(m_worker, &CatalogueWorker::serversChanged, this, &PostgresCatalogue::serversChanged);
    connect(m_worker, &CatalogueWorker::senderChanged, this, [this](bool sender) {
        m_sender = sender;
        emit senderChanged();
    });
    m_thread.start();
}

PostgresCatalogue::~PostgresCatalogue() {
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->stop(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

bool PostgresCatalogue::start() {
    // Connecting waits for the database's answer for at most its connect time-out.
    struct Outcome {
        bool online = false;
        QString why;
        QString refusal;
    };
    const std::optional<Outcome> outcome = call<Outcome>([worker = m_worker] {
        const bool online = worker->connectNow();
        return Outcome{online, worker->lastError(), worker->refusal()};
    });
    m_started = true;
    if (!outcome)
        return false;
    m_refusal = outcome->refusal;
    m_online = outcome->online;
    m_offlineReason = outcome->why;
    return m_online;
}

// What the first connection brought is known from start() itself.
void PostgresCatalogue::setOnline(bool online, const QString& why) {
    if (!m_started)
        return;
    m_offlineReason = online ? QString() : why;
    if (online == m_online)
        return;
    m_online = online;
    emit onlineChanged(online);
}
