#include "notify/CurlDelivery.h"

#include "http/CurlLibrary.h"
#include "http/CurlMulti.h"
#include "notify/ChannelReply.h"
#include "notify/ChannelRequest.h"
#include "notify/EmailRequest.h"
#include "tls/TlsContext.h"

#include <openssl/ssl.h>

#include <cstring>
#include <utility>

namespace {

// What is kept of a reply: the answers judged are small JSON objects.
constexpr qsizetype ReplyKept = 64 * 1024;

} // namespace

CurlDelivery::CurlDelivery(CurlMulti& multi, std::shared_ptr<TlsContext> trust, int timeLimitMs,
                           QObject* parent)
    : QObject(parent)
    , m_multi(multi)
    , m_trust(std::move(trust))
    , m_timeLimitMs(qMax(1, timeLimitMs)) {
    CurlLibrary::initialize();
}

CurlDelivery::~CurlDelivery() {
    if (m_running)
        m_multi.remove(m_easy);
    curl_easy_cleanup(m_easy);
    curl_slist_free_all(m_list);
}

void CurlDelivery::prepare(const QByteArray& url, const char* protocols) {
    m_easy = curl_easy_init();
    CURL* e = m_easy;
    curl_easy_setopt(e, CURLOPT_URL, url.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(m_timeLimitMs));
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    // OpenSSL checks the chain against the shared trust (the system's
    // certificates and the CA file) and libcurl the host name; nothing goes
    // out over a connection either refuses.
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &CurlDelivery::sslContextCallback);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, this);
}

void CurlDelivery::post(ChannelKind kind, const ChannelRequest& request, ChannelSender::Done done) {
    m_kind = kind;
    m_hidden = request.hidden;
    prepare(request.url, "http,https");
    CURL* e = m_easy;
    curl_easy_setopt(e, CURLOPT_USERAGENT, "servermon/" SERVERMON_VERSION);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlDelivery::writeCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
    curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, request.body.constData());
    if (request.method == QLatin1String("PUT"))
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, "PUT");
    // No "Expect: 100-continue" wait before a larger body.
    m_list = curl_slist_append(m_list, "Expect:");
    for (const QByteArray& header : request.headers)
        m_list = curl_slist_append(m_list, header.constData());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_list);
    start(std::move(done));
}

void CurlDelivery::mail(const EmailRequest& request, ChannelSender::Done done) {
    m_isMail = true;
    prepare(request.url, "smtp,smtps");
    CURL* e = m_easy;
    curl_easy_setopt(e, CURLOPT_USE_SSL,
                     request.requireStartTls ? long(CURLUSESSL_ALL) : long(CURLUSESSL_NONE));
    if (!request.user.isEmpty()) {
        curl_easy_setopt(e, CURLOPT_USERNAME, request.user.toUtf8().constData());
        curl_easy_setopt(e, CURLOPT_PASSWORD, request.password.toUtf8().constData());
    }
    curl_easy_setopt(e, CURLOPT_MAIL_FROM, request.from.constData());
    for (const QByteArray& recipient : request.recipients)
        m_list = curl_slist_append(m_list, recipient.constData());
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, m_list);
    m_upload = request.content;
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &CurlDelivery::readCallback);
    curl_easy_setopt(e, CURLOPT_READDATA, this);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_upload.size()));
    start(std::move(done));
}

void CurlDelivery::start(ChannelSender::Done done) {
    m_done = std::move(done);
    m_running = true;
    m_multi.add(m_easy, [this](CURLcode code) { transferEnded(code); });
}

size_t CurlDelivery::writeCallback(char* data, size_t size, size_t count, void* self) {
    QByteArray& reply = static_cast<CurlDelivery*>(self)->m_reply;
    const size_t bytes = size * count;
    reply.append(data, qMin(qsizetype(bytes), qMax<qsizetype>(0, ReplyKept - reply.size())));
    return bytes;
}

size_t CurlDelivery::readCallback(char* buffer, size_t size, size_t count, void* self) {
    auto* delivery = static_cast<CurlDelivery*>(self);
    const qsizetype bytes =
        qMin(qsizetype(size * count), delivery->m_upload.size() - delivery->m_uploaded);
    memcpy(buffer, delivery->m_upload.constData() + delivery->m_uploaded, size_t(bytes));
    delivery->m_uploaded += bytes;
    return size_t(bytes);
}

CURLcode CurlDelivery::sslContextCallback(CURL*, void* context, void* self) {
    const TlsContext& trust = *static_cast<CurlDelivery*>(self)->m_trust;
    if (!trust.handle() || !trust.error().isEmpty())
        return CURLE_SSL_CACERT_BADFILE;
    SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(context), SSL_CTX_get_cert_store(trust.handle()));
    return CURLE_OK;
}

long CurlDelivery::responseCode() const {
    long code = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

// The handle is gone before done runs, and done runs last: it may free
// this object.
void CurlDelivery::transferEnded(CURLcode code) {
    m_running = false;
    const SendOutcome outcome = m_isMail ? mailOutcome(code) : httpOutcome(code);
    curl_easy_cleanup(std::exchange(m_easy, nullptr));
    curl_slist_free_all(std::exchange(m_list, nullptr));
    const ChannelSender::Done done = std::exchange(m_done, nullptr);
    done(outcome);
}

SendOutcome CurlDelivery::httpOutcome(CURLcode code) const {
    if (code != CURLE_OK)
        return failure(code);
    return ChannelReply::judge(m_kind, int(responseCode()), m_reply, m_hidden);
}

SendOutcome CurlDelivery::mailOutcome(CURLcode code) const {
    if (code == CURLE_OK)
        return {true, {}};
    const long reply = responseCode();
    if (code != CURLE_LOGIN_DENIED && code != CURLE_OPERATION_TIMEDOUT && reply >= 400)
        return {false, tr("SMTP服务器拒绝:%1").arg(reply)};
    return failure(code);
}

SendOutcome CurlDelivery::failure(CURLcode code) const {
    const QString detail = QString::fromUtf8(curl_easy_strerror(code));
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return {false, tr("超时")};
    case CURLE_COULDNT_RESOLVE_HOST:
        return {false, tr("无法解析主机名")};
    case CURLE_COULDNT_CONNECT:
        return {false, tr("连接失败:%1").arg(detail)};
    case CURLE_PEER_FAILED_VERIFICATION:
        return {false, tr("证书验证失败")};
    case CURLE_SSL_CACERT_BADFILE:
        return {false, tr("TLS设置有误:%1").arg(m_trust->error())};
    case CURLE_SSL_CONNECT_ERROR:
        return {false, tr("TLS连接失败:%1").arg(detail)};
    case CURLE_USE_SSL_FAILED:
        return {false, tr("服务器不支持STARTTLS")};
    case CURLE_LOGIN_DENIED:
        return {false, tr("登录被拒绝:用户名或密码不对")};
    default:
        return {false, tr("发送失败:%1").arg(detail)};
    }
}
