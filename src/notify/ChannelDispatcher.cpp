#include "notify/ChannelDispatcher.h"

#include "notify/ChannelCatalogue.h"
#include "notify/ChannelMessage.h"
#include "notify/ChannelSender.h"
#include "notify/Outbox.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QUuid>

#include <limits>

namespace {

// How many due messages one turn looks at; each finished delivery turns again.
constexpr int kTurnEntries = 200;
// Sent, failed and digested messages are kept this long for inspection.
constexpr qint64 kKeptMs = 7LL * 24 * 60 * 60 * 1000;

QString newDedupKey() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Read far from the server list, a message must name its server: an alert
// whose text does not (the tray's text gives only the address and status)
// opens with the server's name.
QString namedText(const AlertEvent& event) {
    if (event.serverName.isEmpty() || event.message.contains(event.serverName))
        return event.message;
    return event.serverName + QStringLiteral("\r\n") + event.message;
}

QString digestLine(const Outbox::Entry& entry) {
    const AlertEvent& event = entry.message.event;
    QString line =
        QDateTime::fromMSecsSinceEpoch(entry.createdUtcMs).toString(QStringLiteral("HH:mm:ss ")) +
        entry.message.title;
    if (!event.serverName.isEmpty())
        line += QStringLiteral(" ") + event.serverName;
    if (!event.address.isEmpty())
        line += QStringLiteral(" (") + event.address + QStringLiteral(")");
    return line;
}

} // namespace

ChannelDispatcher::ChannelDispatcher(ChannelSender& sender, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_sender(sender)
    , m_clock(clock) {
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
    connect(&m_wake, &QTimer::timeout, this, &ChannelDispatcher::deliverDue);
}

ChannelDispatcher::~ChannelDispatcher() = default;

void ChannelDispatcher::reload() {
    m_channels = ChannelCatalogue::SelectChannels();
    if (m_channels.isEmpty())
        return;
    for (const Channel& channel : std::as_const(m_channels))
        m_counts[channel.name];
    Outbox::prune(m_clock.utcMs() - kKeptMs);
    const QList<qint64> holding = Outbox::channelsHolding();
    m_holding = QSet<qint64>(holding.cbegin(), holding.cend());
    refreshQueued();
    wakeAt(m_clock.utcMs());
}

QStringList ChannelDispatcher::failingChannels() const {
    QStringList names;
    for (const Channel& channel : m_channels)
        if (m_failing.contains(channel.id))
            names << channel.name;
    return names;
}

const Channel* ChannelDispatcher::channel(qint64 id) const {
    for (const Channel& channel : m_channels)
        if (channel.id == id)
            return &channel;
    return nullptr;
}

void ChannelDispatcher::setActive(bool active) {
    if (active == m_active)
        return;
    m_active = active;
    if (active)
        reload();
}

void ChannelDispatcher::alertRaised(const AlertEvent& raised) {
    if (m_channels.isEmpty() || !m_active)
        return;
    const qint64 now = m_clock.utcMs();
    AlertEvent event = raised;
    if (event.timeUtcMs == 0)
        event.timeUtcMs = now;
    for (const Channel& channel : std::as_const(m_channels)) {
        if (!channel.enabled || (event.kind == AlertEvent::Kind::Recovery && !channel.sendRecovery))
            continue;
        const ChannelMessage message{event.title, namedText(event), event, newDedupKey()};
        const bool admitted = m_storm.admit(channel.id, channel.stormLimit, now);
        Outbox::enqueue(channel.id, message, now,
                        admitted ? Outbox::State::Pending : Outbox::State::Held);
        if (!admitted)
            m_holding.insert(channel.id);
    }
    refreshQueued();
    wakeAt(now);
}

// Held messages whose minute is over go out as one digest per channel.
void ChannelDispatcher::digestHeld(qint64 nowUtcMs) {
    for (auto it = m_holding.begin(); it != m_holding.end();) {
        const qint64 channelId = *it;
        if (m_storm.minuteEnds(channelId, nowUtcMs)) {
            ++it;
            continue;
        }
        const QList<Outbox::Entry> held = Outbox::held(channelId);
        it = m_holding.erase(it);
        if (held.isEmpty())
            continue;
        QStringList lines{tr("另有%1条告警:").arg(held.size())};
        QList<qint64> ids;
        for (const Outbox::Entry& entry : held) {
            lines << digestLine(entry);
            ids << entry.id;
        }
        ChannelMessage digest;
        digest.title = tr("注意:告警过多");
        digest.message = lines.join(QStringLiteral("\r\n"));
        digest.event.title = digest.title;
        digest.event.message = digest.message;
        digest.event.timeUtcMs = nowUtcMs;
        digest.dedupKey = newDedupKey();
        Outbox::digest(ids, channelId, digest, nowUtcMs);
    }
}

void ChannelDispatcher::deliverDue() {
    if (m_channels.isEmpty() || !m_active)
        return;
    const qint64 now = m_clock.utcMs();
    digestHeld(now);
    qint64 next = std::numeric_limits<qint64>::max();
    for (const qint64 channelId : std::as_const(m_holding))
        if (const auto ends = m_storm.minuteEnds(channelId, now))
            next = qMin(next, *ends);
    for (const Outbox::Entry& entry : Outbox::pending(kTurnEntries)) {
        if (entry.nextAttemptUtcMs > now) {
            next = qMin(next, entry.nextAttemptUtcMs);
            break;
        }
        const Channel* target = channel(entry.channelId);
        if (!target || !target->enabled || m_busy.contains(entry.channelId))
            continue;
        m_busy.insert(entry.channelId);
        m_sender.send(*target, entry.message,
                      [this, entry](const SendOutcome& outcome) { finished(entry, outcome); });
    }
    if (next != std::numeric_limits<qint64>::max())
        wakeAt(next);
}

void ChannelDispatcher::finished(const Outbox::Entry& entry, const SendOutcome& outcome) {
    m_busy.remove(entry.channelId);
    const Channel* target = channel(entry.channelId);
    const QString name = target ? target->name : QString::number(entry.channelId);
    const int attempts = entry.attempts + 1;
    const qint64 now = m_clock.utcMs();
    if (outcome.accepted) {
        Outbox::markSent(entry.id, attempts, now);
        ++m_counts[name].sent;
        if (m_failing.remove(entry.channelId))
            emit channelRecovered(name);
    } else if (const auto retry = m_schedule.nextAttempt(attempts, entry.createdUtcMs, now)) {
        Outbox::markRetry(entry.id, attempts, *retry);
        ++m_counts[name].retried;
    } else {
        Outbox::markFailed(entry.id, attempts);
        ++m_counts[name].failed;
        m_failing.insert(entry.channelId);
        emit channelFailed(name, outcome.reason);
    }
    refreshQueued();
    wakeAt(now);
}

void ChannelDispatcher::wakeAt(qint64 utcMs) {
    const qint64 wait = qMax<qint64>(0, utcMs - m_clock.utcMs());
    if (m_wake.isActive() && m_wake.remainingTime() <= wait)
        return;
    m_wake.start(int(qMin<qint64>(wait, std::numeric_limits<int>::max())));
}

void ChannelDispatcher::refreshQueued() {
    m_queued = Outbox::queuedCount();
}
