#pragma once

#include "notify/ChannelMessage.h"

#include <QList>
#include <QString>

// The catalogue's table Outbox: each message stays there, pending, until its
// channel accepted it (sent) or it was given up (failed), so a restart loses
// nothing queued. A message held back by storm control waits as held until
// its minute's digest replaces it (digested). Changes return DbExecute's
// report: empty on success, the failure text otherwise.
namespace Outbox {

struct Entry {
    qint64 id = 0;
    qint64 channelId = 0;
    qint64 createdUtcMs = 0;
    int attempts = 0;
    qint64 nextAttemptUtcMs = 0;
    ChannelMessage message;
};

enum class State { Pending, Held };

// A message under a DedupKey already in the table is not queued twice.
QString enqueue(qint64 channelId, const ChannelMessage& message, qint64 createdUtcMs, State state);
// Pending messages in the order they are due, at most limit of them.
QList<Entry> pending(int limit);
// Held messages of the channel, oldest first.
QList<Entry> held(qint64 channelId);
// The channels with held messages.
QList<qint64> channelsHolding();
QString markSent(qint64 id, int attempts, qint64 sentUtcMs);
QString markRetry(qint64 id, int attempts, qint64 nextAttemptUtcMs);
QString markFailed(qint64 id, int attempts);
// Replaces the held messages by the digest that lists them, in one
// transaction.
QString digest(const QList<qint64>& heldIds, qint64 channelId, const ChannelMessage& digest,
               qint64 createdUtcMs);
// Messages pending or held.
qint64 queuedCount();
// Forgets sent, failed and digested messages created before utcMs.
QString prune(qint64 utcMs);

QString eventJson(const AlertEvent& event);
AlertEvent eventOfJson(const QString& json);

} // namespace Outbox
