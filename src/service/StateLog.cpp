#include "service/StateLog.h"

#include "monitor/ServerRowModel.h"
#include "service/ServiceLog.h"

#include <QHash>

namespace {

using Col = ServerRowModel::Column;

const QString Ok = QStringLiteral("ok");
const QString Unknown = QStringLiteral("unknown");

// Every result kind, the leg it concerns and the state it leaves. A new
// state is one more line here. The state names are the log's data, read by
// scripts, so they stay the same whatever the interface language.
struct KindState {
    ProbeOutcome::Kind kind;
    bool socket;
    const char* state;
};
constexpr KindState KindStates[] = {
    {ProbeOutcome::Correct, true, "ok"},        {ProbeOutcome::Wrong, true, "wrong"},
    {ProbeOutcome::SocketError, true, "error"}, {ProbeOutcome::TimedOut, true, "timeout"},
    {ProbeOutcome::EchoAnswered, false, "ok"},  {ProbeOutcome::EchoLost, false, "lost-echo"},
};

// One shared text per state name: every server's legs refer to these.
const QString& stateText(const char* name) {
    static QHash<const char*, QString> texts;
    auto found = texts.constFind(name);
    if (found == texts.cend())
        found = texts.insert(name, QString::fromLatin1(name));
    return *found;
}

const KindState* kindState(ProbeOutcome::Kind kind) {
    for (const KindState& entry : KindStates) {
        if (entry.kind == kind)
            return &entry;
    }
    return nullptr;
}

} // namespace

StateLog::StateLog(const ServerRowModel& rows, ServiceLog& log, QObject* parent)
    : QObject(parent)
    , m_rows(rows)
    , m_log(log) {
    const auto stale = [this] { m_keysStale = true; };
    connect(&rows, &QAbstractItemModel::modelReset, this, stale);
    connect(&rows, &QAbstractItemModel::rowsRemoved, this, stale);
    connect(&rows, &QAbstractItemModel::rowsInserted, this, stale);
    connect(&rows, &ServerRowModel::rowReplaced, this, stale);
}

// An answered echo says nothing of the service: ok needs a socket result.
// A server failing below a failing ancestor is unreachable, whatever its
// legs say.
QString StateLog::combined(const Legs& legs) {
    if (legs.unreachable)
        return QStringLiteral("unreachable");
    if (!legs.socket.isEmpty() && legs.socket != Ok)
        return legs.socket;
    if (!legs.echo.isEmpty() && legs.echo != Ok)
        return legs.echo;
    return legs.socket.isEmpty() ? Unknown : Ok;
}

int StateLog::rowOfServer(qint64 serverId) {
    if (m_keysStale) {
        m_keyOfServer.clear();
        for (int row = 0; row < m_rows.rowCount(); ++row)
            m_keyOfServer.insert(m_rows.text(row, Col::ID).toLongLong(), m_rows.keyAt(row));
        m_keysStale = false;
    }
    const auto found = m_keyOfServer.constFind(serverId);
    return found == m_keyOfServer.cend() ? -1 : m_rows.rowOfKey(*found);
}

void StateLog::record(const ProbeOutcome& outcome) {
    const KindState* entry = kindState(outcome.kind);
    if (!entry)
        return;
    const int row = rowOfServer(outcome.serverId);
    QString state = stateText(entry->state);
    // A correct reply beyond the server's warning time is slow; a socket
    // error that was a TLS fault is a TLS error.
    if (outcome.kind == ProbeOutcome::Correct && row >= 0 && m_rows.warnMs(row) > 0 &&
        outcome.ms > m_rows.warnMs(row))
        state = QStringLiteral("slow");
    else if (outcome.kind == ProbeOutcome::SocketError && row >= 0 && m_rows.tlsFault(row))
        state = QStringLiteral("tls-error");
    Legs& legs = m_legs[outcome.serverId];
    const QString before = combined(legs);
    (entry->socket ? legs.socket : legs.echo) = state;
    legs.unreachable = outcome.unreachable;
    const QString after = combined(legs);
    if (after == before || row < 0)
        return;
    // An unreachable server's Status names the failing server above it.
    const QString status = entry->socket || legs.unreachable ? m_rows.text(row, Col::Status)
                                                             : m_rows.text(row, Col::PingTime);
    m_log.write({m_rows.text(row, Col::ID), m_rows.text(row, Col::DisplayName),
                 m_rows.text(row, Col::IPAddress), m_rows.text(row, Col::Port), before, after,
                 status});
}
