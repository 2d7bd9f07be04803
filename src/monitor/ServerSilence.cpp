#include "monitor/ServerSilence.h"

#include "monitor/ServerRecord.h"
#include "monitor/ServerRowModel.h"
#include "platform/Clock.h"

namespace {

const QString kHourAction = QStringLiteral("silence-hour");
const QString kRecoveryAction = QStringLiteral("silence-recovery");

} // namespace

ServerSilence::ServerSilence(ServerRowModel& rows, Clock& clock, Store store, QObject* parent)
    : QObject(parent)
    , m_rows(rows)
    , m_clock(clock)
    , m_store(std::move(store)) {
    // A list may bring silences that ended while it was not shown.
    connect(&rows, &QAbstractItemModel::modelReset, this, &ServerSilence::expire);
    // Marks also go while monitoring is off.
    m_expiry.setInterval(60 * 1000);
    connect(&m_expiry, &QTimer::timeout, this, &ServerSilence::expire);
    m_expiry.start();
}

QString ServerSilence::caption(Kind kind) {
    switch (kind) {
    case Kind::ForHour:
        return tr("静默1小时");
    case Kind::UntilRecovery:
        return tr("静默至恢复");
    case Kind::Off:
        break;
    }
    return tr("取消静默");
}

QString ServerSilence::apply(qint64 id, Kind kind) {
    qint64 until = 0;
    if (kind == Kind::ForHour)
        until = m_clock.utcMs() + HourMs;
    else if (kind == Kind::UntilRecovery)
        until = ServerRecord::SilencedUntilRecovery;
    return store(id, until, Origin::Operator);
}

bool ServerSilence::isSilenced(int row) const {
    const qint64 until = m_rows.silencedUntil(row);
    return until == ServerRecord::SilencedUntilRecovery || until > m_clock.utcMs();
}

bool ServerSilence::endAtRecovery(int row) {
    if (m_rows.silencedUntil(row) != ServerRecord::SilencedUntilRecovery)
        return false;
    store(m_rows.text(row, ServerRowModel::ID).toLongLong(), 0, Origin::Recovery);
    return true;
}

void ServerSilence::expire() {
    const qint64 now = m_clock.utcMs();
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        const qint64 until = m_rows.silencedUntil(row);
        if (until > 0 && until <= now)
            m_rows.setSilencedUntil(row, 0);
    }
}

ServerSilence::NoticeActions ServerSilence::noticeActions() {
    return {{kHourAction, caption(Kind::ForHour)}, {kRecoveryAction, caption(Kind::UntilRecovery)}};
}

QString ServerSilence::applyNoticeAction(const QString& server, const QString& key) {
    bool isId = false;
    const qint64 id = server.toLongLong(&isId);
    if (!isId || (key != kHourAction && key != kRecoveryAction))
        return {};
    return apply(id, key == kHourAction ? Kind::ForHour : Kind::UntilRecovery);
}

int ServerSilence::rowOfId(qint64 id) const {
    const QString text = QString::number(id);
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        if (m_rows.text(row, ServerRowModel::ID) == text)
            return row;
    }
    return -1;
}

QString ServerSilence::store(qint64 id, qint64 until, Origin origin) {
    m_rows.setSilencedUntil(rowOfId(id), until);
    return m_store ? m_store(id, until, origin) : QString();
}
