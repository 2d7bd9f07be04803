#include "notify/ChannelDelivery.h"

#include "http/CurlMulti.h"
#include "notify/Channel.h"
#include "notify/ChannelMessage.h"
#include "notify/ChannelRequest.h"
#include "notify/CommandDelivery.h"
#include "notify/CurlDelivery.h"
#include "notify/EmailRequest.h"
#include "platform/Clock.h"
#include "tls/TlsContext.h"

#include <QTimer>

namespace {

// A peer may quote what it was sent; the secret never leaves in a reason.
SendOutcome withoutSecret(SendOutcome outcome, const QString& secret) {
    if (!secret.isEmpty())
        outcome.reason.replace(secret, QStringLiteral("***"));
    return outcome;
}

} // namespace

ChannelDelivery::ChannelDelivery(const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_multi(std::make_unique<CurlMulti>())
    , m_trust(TlsContext::forCaFile({})) {}

// The sends end before the multi handle they run on.
ChannelDelivery::~ChannelDelivery() {
    const QSet<QObject*> running = std::exchange(m_running, {});
    qDeleteAll(running);
}

void ChannelDelivery::setTimeLimitMs(int timeLimitMs) {
    m_timeLimitMs = qMax(1, timeLimitMs);
}

void ChannelDelivery::setCaFile(const QString& caFile) {
    m_trust = TlsContext::forCaFile(caFile);
}

void ChannelDelivery::send(const Channel& channel, const ChannelMessage& message, Done done) {
    const qint64 now = m_clock.utcMs();
    switch (channel.kind) {
    case ChannelKind::Command: {
        auto* command = new CommandDelivery(m_timeLimitMs, this);
        command->start(channel, message, tracked(command, channel.secret, std::move(done)));
        return;
    }
    case ChannelKind::Email: {
        const EmailRequest request = EmailRequest::build(channel, message, now);
        if (!request.problem.isEmpty())
            return refuse(request.problem, std::move(done));
        auto* mail = new CurlDelivery(*m_multi, m_trust, m_timeLimitMs, this);
        mail->mail(request, tracked(mail, channel.secret, std::move(done)));
        return;
    }
    default: {
        const ChannelRequest request = ChannelRequest::build(channel, message, now);
        if (!request.problem.isEmpty())
            return refuse(request.problem, std::move(done));
        auto* post = new CurlDelivery(*m_multi, m_trust, m_timeLimitMs, this);
        post->post(channel.kind, request, tracked(post, channel.secret, std::move(done)));
        return;
    }
    }
}

// Settings that make no request end the send from the event loop too, as
// every other outcome does.
void ChannelDelivery::refuse(const QString& reason, Done done) {
    QTimer::singleShot(0, this, [reason, done = std::move(done)] { done({false, reason}); });
}

// The job is freed once its own code has returned.
ChannelSender::Done ChannelDelivery::tracked(QObject* job, const QString& secret, Done done) {
    m_running.insert(job);
    return [this, job, secret, done = std::move(done)](const SendOutcome& outcome) {
        m_running.remove(job);
        job->deleteLater();
        const Done callback = done;
        callback(withoutSecret(outcome, secret));
    };
}
