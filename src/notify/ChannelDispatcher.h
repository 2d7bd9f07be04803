#pragma once

#include "monitor/AlertEvent.h"
#include "notify/Channel.h"
#include "notify/RetrySchedule.h"
#include "notify/StormControl.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

class ChannelSender;
class Clock;
struct SendOutcome;
namespace Outbox {
struct Entry;
}

// Turns raised alerts into messages of the enabled channels and delivers
// them from the catalogue's outbox: each channel one message at a time,
// retried on the schedule until accepted or given up, a storm of them
// summed up in one digest a minute. With no channel configured it does
// nothing at all.
class ChannelDispatcher final : public QObject, public AlertFeed {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChannelDispatcher)
public:
    struct Counts {
        qint64 sent = 0;
        qint64 retried = 0;
        qint64 failed = 0;
    };

    ChannelDispatcher(ChannelSender& sender, const Clock& clock, QObject* parent = nullptr);
    ~ChannelDispatcher() override;

    void setRetrySchedule(const RetrySchedule& schedule) { m_schedule = schedule; }
    void setStormControl(const StormControl& storm) { m_storm = storm; }
    // Reads the channels from the catalogue again and resumes what the
    // outbox holds (also what an earlier run left there).
    void reload();
    // Only an active dispatcher takes alerts and delivers: of the copies
    // sharing one catalogue, the one that holds the sender role. Active
    // from the start; becoming active again delivers what waits.
    void setActive(bool active);
    bool hasChannels() const { return !m_channels.isEmpty(); }
    // Deliveries by channel name since start.
    const QHash<QString, Counts>& counts() const { return m_counts; }
    // Messages waiting in the outbox, as of the last change.
    qint64 queued() const { return m_queued; }
    // The channels whose last finished message was given up, by name.
    QStringList failingChannels() const;

    void alertRaised(const AlertEvent& event) override;

signals:
    // A message was given up: the channel has failed for an hour.
    void channelFailed(const QString& channelName, const QString& reason);
    // A channel that had failed accepted a message again.
    void channelRecovered(const QString& channelName);

private:
    const Channel* channel(qint64 id) const;
    void deliverDue();
    void digestHeld(qint64 nowUtcMs);
    void finished(const Outbox::Entry& entry, const SendOutcome& outcome);
    void wakeAt(qint64 utcMs);
    void refreshQueued();

    ChannelSender& m_sender;
    const Clock& m_clock;
    RetrySchedule m_schedule;
    StormControl m_storm;
    QList<Channel> m_channels;
    QSet<qint64> m_busy;    // channels with a message on its way
    QSet<qint64> m_holding; // channels with messages held for a digest
    QSet<qint64> m_failing; // channels whose last message was given up
    QHash<QString, Counts> m_counts;
    qint64 m_queued = 0;
    QTimer m_wake;
    bool m_active = true;
};
