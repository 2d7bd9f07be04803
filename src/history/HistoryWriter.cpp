#include "history/HistoryWriter.h"

#include "history/HistoryStore.h"

#include <QDir>

HistoryWriter::HistoryWriter(QObject* parent)
    : QObject(parent) {}

HistoryWriter::~HistoryWriter() = default;

void HistoryWriter::open(const QString& path, qint64 nowUtcMs, int rawDays, int keepDays) {
    m_store = std::make_unique<HistoryStore>(
        QStringLiteral("HistoryWriter%1").arg(reinterpret_cast<quintptr>(this)));
    if (!m_store->open(path)) {
        m_failed = true;
        const QString message = m_store->message();
        m_store.reset();
        emit failed(message);
        return;
    }
    if (!m_store->message().isEmpty())
        emit notice(m_store->message());
    maintain(nowUtcMs, rawDays, keepDays);
}

void HistoryWriter::write(const QList<ProbeOutcome>& outcomes, int rawEvery) {
    if (m_failed || !m_store || outcomes.isEmpty())
        return;
    const HistoryThinning::Batch batch = m_thinning.take(outcomes, rawEvery);
    if (!store(batch))
        return;
    for (const ProbeOutcome& outcome : outcomes)
        m_written.insert(outcome.serverId);
}

bool HistoryWriter::store(const HistoryThinning::Batch& batch) {
    if (batch.raw.isEmpty() && batch.folded.isEmpty() &&
        batch.heldUntilUtcMs == HistoryThinning::Batch().heldUntilUtcMs)
        return true;
    if (!m_store->append(batch.raw, batch.folded, batch.heldUntilUtcMs)) {
        fail(m_store->message());
        return false;
    }
    for (auto bucket = batch.folded.cbegin(); bucket != batch.folded.cend(); ++bucket)
        m_written.insert(bucket.key().first);
    return true;
}

bool HistoryWriter::store(const HistoryFigures::ServerBuckets& folded) {
    HistoryThinning::Batch batch;
    batch.folded = folded;
    return store(batch);
}

void HistoryWriter::maintain(qint64 nowUtcMs, int rawDays, int keepDays) {
    if (m_failed || !m_store || !store(m_thinning.takeOver(nowUtcMs)) || m_maintaining)
        return;
    // The first run after opening prunes the whole file; later runs only
    // the servers with results since the last run.
    std::optional<QList<qint64>> servers;
    if (m_maintained)
        servers = m_written.values();
    m_written.clear();
    m_store->beginMaintenance(nowUtcMs, rawDays, keepDays, servers);
    m_maintaining = true;
    maintenanceStep();
}

void HistoryWriter::maintenanceStep() {
    if (m_failed || !m_store)
        return;
    switch (m_store->maintenanceStep()) {
    case HistoryStore::Step::Failed:
        fail(m_store->message());
        return;
    case HistoryStore::Step::Done:
        m_maintaining = false;
        m_maintained = true;
        return;
    case HistoryStore::Step::More:
        // Results handed over meanwhile are written before the next piece.
        QMetaObject::invokeMethod(this, &HistoryWriter::maintenanceStep, Qt::QueuedConnection);
        return;
    }
}

void HistoryWriter::deleteServer(qint64 serverId) {
    m_thinning.forget(serverId);
    m_written.remove(serverId);
    if (m_store)
        m_store->deleteServer(serverId);
}

void HistoryWriter::close() {
    if (!m_failed && m_store)
        store(m_thinning.takeAll());
    m_store.reset();
}

void HistoryWriter::fail(const QString& reason) {
    m_failed = true;
    const QString path = m_store ? QDir::toNativeSeparators(m_store->path()) : QString();
    m_store.reset();
    emit failed(tr("无法写入历史记录文件 %1：%2，历史记录已停止，监控照常进行。")
                    .arg(path, reason.isEmpty() ? tr("未知错误") : reason));
}
