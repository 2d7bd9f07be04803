#pragma once

#include "notify/ChannelSender.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class Clock;
class CurlMulti;
class TlsContext;

// The sender of every channel kind. HTTP kinds and e-mail go through
// libcurl's multi interface on the event loop, commands through a process;
// nothing blocks. Any number of sends may run at once, each ending within
// the time limit: a peer that cannot be reached or never answers ends as
// not accepted, with the reason. A reason never holds the channel's secret,
// nor a URL that carries one. Destroying the delivery ends what still runs
// without calling back; a done callback may send again or quit the event
// loop, but not destroy the delivery (deleteLater() is fine).
class ChannelDelivery final : public QObject, public ChannelSender {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChannelDelivery)
public:
    static constexpr int DefaultTimeLimitMs = 30000;

    // The clock stamps signatures and mails; it must outlive the delivery.
    explicit ChannelDelivery(const Clock& clock, QObject* parent = nullptr);
    ~ChannelDelivery() override;

    void send(const Channel& channel, const ChannelMessage& message, Done done) override;

    // The time one send may take, for the sends that start after.
    void setTimeLimitMs(int timeLimitMs);
    int timeLimitMs() const { return m_timeLimitMs; }
    // Certificates trusted over TLS besides the system's (the settings'
    // TLSCAFILE); empty: the system's alone.
    void setCaFile(const QString& caFile);
    // Sends under way.
    int running() const { return int(m_running.size()); }

private:
    // Keeps job among the running sends until the Done returned has run.
    Done tracked(QObject* job, const QString& secret, Done done);
    void refuse(const QString& reason, Done done);

    const Clock& m_clock;
    std::unique_ptr<CurlMulti> m_multi;
    std::shared_ptr<TlsContext> m_trust;
    int m_timeLimitMs = DefaultTimeLimitMs;
    QSet<QObject*> m_running;
};
