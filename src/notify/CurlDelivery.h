#pragma once

#include "notify/ChannelKind.h"
#include "notify/ChannelSender.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <curl/curl.h>

#include <memory>

class CurlMulti;
class TlsContext;
struct ChannelRequest;
struct EmailRequest;

// One delivery over libcurl, moved on by a CurlMulti from the event loop:
// an HTTP request of a channel, judged by its reply, or a mail handed to an
// SMTP server, accepted when the server took it after DATA. The time limit
// covers the whole transfer. TLS is verified (chain and host name) against
// the trust given. No proxy is used. The reasons are made here from the
// outcome and libcurl's fixed text for its error code, never from its error
// buffer, which can name the URL and so a token in it.
class CurlDelivery final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CurlDelivery)
public:
    // The multi handle must outlive the delivery.
    CurlDelivery(CurlMulti& multi, std::shared_ptr<TlsContext> trust, int timeLimitMs,
                 QObject* parent = nullptr);
    // Ends a transfer under way without calling back.
    ~CurlDelivery() override;

    // Each starts the one transfer of this object; done runs once it ended.
    void post(ChannelKind kind, const ChannelRequest& request, ChannelSender::Done done);
    void mail(const EmailRequest& request, ChannelSender::Done done);

private:
    static size_t writeCallback(char* data, size_t size, size_t count, void* self);
    static size_t readCallback(char* buffer, size_t size, size_t count, void* self);
    static CURLcode sslContextCallback(CURL* easy, void* context, void* self);
    void prepare(const QByteArray& url, const char* protocols);
    void start(ChannelSender::Done done);
    void transferEnded(CURLcode code);
    SendOutcome httpOutcome(CURLcode code) const;
    SendOutcome mailOutcome(CURLcode code) const;
    SendOutcome failure(CURLcode code) const;
    long responseCode() const;

    CurlMulti& m_multi;
    std::shared_ptr<TlsContext> m_trust;
    int m_timeLimitMs;
    CURL* m_easy = nullptr;
    curl_slist* m_list = nullptr;
    bool m_running = false;
    bool m_isMail = false;
    ChannelKind m_kind = ChannelKind::Webhook;
    QStringList m_hidden;
    QByteArray m_upload;
    qsizetype m_uploaded = 0;
    QByteArray m_reply;
    ChannelSender::Done m_done;
};
