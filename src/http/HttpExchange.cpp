#include "http/HttpExchange.h"

#include "http/CurlLibrary.h"
#include "http/CurlMulti.h"
#include "tls/TlsContext.h"
#include "tls/TlsPeerName.h"

#include <QUrl>

#include <utility>

#include <openssl/ssl.h>

namespace {

// The headers of a reply kept at most: libcurl itself refuses a header
// section beyond 100 KiB.
constexpr qsizetype HeaderLinesKept = 256;

qint64 timeUs(CURL* easy, CURLINFO info) {
    curl_off_t us = 0;
    return curl_easy_getinfo(easy, info, &us) == CURLE_OK ? qint64(us) : 0;
}

} // namespace

HttpExchange::HttpExchange(CurlMulti& multi, QObject* parent)
    : QObject(parent)
    , m_multi(multi) {
    CurlLibrary::initialize();
}

HttpExchange::~HttpExchange() {
    abort();
}

void HttpExchange::abort() {
    if (m_running)
        m_multi.remove(m_easy);
    m_running = false;
    release();
}

// A handle holds its buffers while it lives, tens of KiB: between
// exchanges there is none, so thousands of idle rows cost nothing here.
void HttpExchange::release() {
    curl_easy_cleanup(m_easy);
    m_easy = nullptr;
    curl_slist_free_all(m_headers);
    m_headers = nullptr;
}

HttpResult HttpExchange::takeResult() {
    return std::exchange(m_result, HttpResult());
}

void HttpExchange::start(const HttpRequest& request) {
    abort();
    m_request = request;
    m_result = HttpResult();
    m_error[0] = '\0';
    if (!m_request.trust)
        m_request.trust = TlsContext::forCaFile({});

    m_easy = curl_easy_init();
    CURL* e = m_easy;
    curl_easy_setopt(e, CURLOPT_URL, m_request.url.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(qMax(1, m_request.timeOutMs)));
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, m_request.followRedirects ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, HttpRequest::MaxRedirects);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    // A request header of the same name replaces it.
    curl_easy_setopt(e, CURLOPT_USERAGENT, "servermon/" SERVERMON_VERSION);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, m_error);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpExchange::writeCallback);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpExchange::headerCallback);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &HttpExchange::prerequestCallback);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);

    // OpenSSL verifies the chain and the name on every handshake and keeps
    // the result; libcurl's own checks would end a refused handshake before
    // its facts could be read, so the exchange judges the result itself
    // before the request goes out. The trust is the shared store, never a
    // bundle read anew for every connection.
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(e, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &HttpExchange::sslContextCallback);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, this);

    const QString method = m_request.method.toUpper();
    if (method == QLatin1String("HEAD")) {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (method == QLatin1String("POST") || method == QLatin1String("PUT")) {
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_request.body.size()));
        curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, m_request.body.constData());
        if (method == QLatin1String("PUT"))
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, "PUT");
    }
    // No "Expect: 100-continue" wait before a larger body.
    m_headers = curl_slist_append(m_headers, "Expect:");
    for (const QByteArray& header : std::as_const(m_request.headers))
        m_headers = curl_slist_append(m_headers, header.constData());
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_headers);

    m_running = true;
    m_multi.add(e, [this](CURLcode code) { transferEnded(code); });
}

size_t HttpExchange::writeCallback(char* data, size_t size, size_t count, void* self) {
    return static_cast<HttpExchange*>(self)->bodyArrived(data, size * count);
}

size_t HttpExchange::headerCallback(char* data, size_t size, size_t count, void* self) {
    static_cast<HttpExchange*>(self)->headerArrived(QByteArrayView(data, qsizetype(size * count)));
    return size * count;
}

int HttpExchange::prerequestCallback(void* self, char*, char*, int, int) {
    return static_cast<HttpExchange*>(self)->connectionReady() ? CURL_PREREQFUNC_OK
                                                               : CURL_PREREQFUNC_ABORT;
}

CURLcode HttpExchange::sslContextCallback(CURL*, void* context, void* self) {
    return static_cast<HttpExchange*>(self)->prepareTls(context);
}

// The body beyond the limit ends the transfer: what came is what is judged.
size_t HttpExchange::bodyArrived(const char* data, size_t size) {
    const qsizetype room = m_request.bodyLimit - m_result.body.size();
    if (qint64(size) <= room) {
        m_result.body.append(data, qsizetype(size));
        return size;
    }
    m_result.body.append(data, qMax<qsizetype>(0, room));
    m_result.bodyCut = true;
    return 0;
}

// Every reply (an interim one, each redirect) starts with its status line;
// only the last reply's headers and body are kept.
void HttpExchange::headerArrived(QByteArrayView line) {
    const QByteArrayView trimmed = line.trimmed();
    if (trimmed.startsWith("HTTP/")) {
        m_result.statusLine = trimmed.toByteArray();
        m_result.headers.clear();
        m_result.body.clear();
        m_result.bodyCut = false;
    } else if (!trimmed.isEmpty() && m_result.headers.size() < HeaderLinesKept) {
        m_result.headers.append(trimmed.toByteArray());
    }
}

// The connection stands (secured over HTTPS) and the request is about to go
// out: the certificate of each hop is judged here, and the facts of the
// first one are kept.
bool HttpExchange::connectionReady() {
    const curl_tlssessioninfo* session = nullptr;
    if (curl_easy_getinfo(m_easy, CURLINFO_TLS_SSL_PTR, &session) == CURLE_OK && session &&
        session->backend == CURLSSLBACKEND_OPENSSL && session->internals) {
        const CertificateFacts facts =
            CertificateFacts::read(static_cast<const SSL*>(session->internals));
        if (!m_result.facts)
            m_result.facts = facts;
        if (facts.faultKind() != TlsFault::Kind::None && !m_request.ignoreCertificateErrors) {
            m_result.tlsFault = {facts.faultKind(), facts.verifyText()};
            return false;
        }
    }
    emit requestSent();
    return true;
}

// The trust of every handshake is the shared store, and the name checked is
// the host of the hop being connected.
CURLcode HttpExchange::prepareTls(void* context) {
    SSL_CTX* ssl = static_cast<SSL_CTX*>(context);
    if (!m_request.trust->handle() || !m_request.trust->error().isEmpty()) {
        m_result.tlsFault = {TlsFault::Kind::HandshakeFailed, m_request.trust->error()};
        return CURLE_SSL_CERTPROBLEM;
    }
    SSL_CTX_set1_cert_store(ssl, SSL_CTX_get_cert_store(m_request.trust->handle()));
    const char* url = nullptr;
    curl_easy_getinfo(m_easy, CURLINFO_EFFECTIVE_URL, &url);
    const QString host = QUrl(QString::fromUtf8(url)).host();
    if (!TlsPeerName::setChecked(SSL_CTX_get0_param(ssl), host)) {
        m_result.tlsFault = {TlsFault::Kind::HandshakeFailed, host};
        return CURLE_SSL_CERTPROBLEM;
    }
    return CURLE_OK;
}

void HttpExchange::transferEnded(CURLcode code) {
    m_running = false;
    readTransferFacts();
    const bool cut = code == CURLE_WRITE_ERROR && m_result.bodyCut;
    if (code != CURLE_OK && !cut) {
        m_result.error = QString::fromUtf8(m_error[0] ? m_error : curl_easy_strerror(code));
        if (m_result.tlsFault.kind != TlsFault::Kind::None)
            m_result.failure = HttpResult::Failure::Tls;
        else if (code == CURLE_OPERATION_TIMEDOUT)
            m_result.failure = HttpResult::Failure::TimedOut;
        else if (code == CURLE_TOO_MANY_REDIRECTS)
            m_result.failure = HttpResult::Failure::TooManyRedirects;
        else if (code == CURLE_SSL_CONNECT_ERROR) {
            m_result.failure = HttpResult::Failure::Tls;
            m_result.tlsFault = {TlsFault::Kind::HandshakeFailed, m_result.error};
        } else
            m_result.failure = HttpResult::Failure::Connection;
    }
    release();
    emit finished();
}

void HttpExchange::readTransferFacts() {
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    m_result.statusCode = int(status);
    long redirects = 0;
    curl_easy_getinfo(m_easy, CURLINFO_REDIRECT_COUNT, &redirects);
    m_result.redirects = int(redirects);
    m_result.timings = HttpTimings::fromMarks(
        timeUs(m_easy, CURLINFO_NAMELOOKUP_TIME_T), timeUs(m_easy, CURLINFO_CONNECT_TIME_T),
        timeUs(m_easy, CURLINFO_APPCONNECT_TIME_T), timeUs(m_easy, CURLINFO_STARTTRANSFER_TIME_T),
        timeUs(m_easy, CURLINFO_TOTAL_TIME_T));
}
