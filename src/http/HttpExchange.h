#pragma once

#include "http/HttpRequest.h"
#include "http/HttpResult.h"

#include <QObject>

#include <curl/curl.h>

class CurlMulti;

// One HTTP(S) request at a time over libcurl, moved on by a CurlMulti from
// the event loop. Each exchange makes a fresh connection, with a fresh name
// lookup and a full TLS handshake, and closes it afterwards, so every
// exchange measures the whole way to the server. No proxy is used, whatever
// the environment says: the check is of the server, not of a proxy.
//
// Over HTTPS the certificate is verified by OpenSSL against the trusted
// certificates and the URL's host, and its facts are read before the
// request is sent: a refused certificate ends the exchange as a TLS fault
// without sending anything, unless certificate errors are ignored.
class HttpExchange final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpExchange)
public:
    // The multi handle must outlive the exchange.
    explicit HttpExchange(CurlMulti& multi, QObject* parent = nullptr);
    ~HttpExchange() override;

    // Starts the exchange, ending the one under way without its signal.
    void start(const HttpRequest& request);
    // Ends the exchange under way without its signal.
    void abort();
    bool isRunning() const { return m_running; }
    // The outcome of the last exchange that finished.
    const HttpResult& result() const { return m_result; }
    // Hands the outcome over, body and all, leaving an empty one.
    HttpResult takeResult();

signals:
    // Connected (and secured over HTTPS); the request goes out now. Emitted
    // from within libcurl: a receiver must not end or free the exchange.
    void requestSent();
    void finished();

private:
    static size_t writeCallback(char* data, size_t size, size_t count, void* self);
    static size_t headerCallback(char* data, size_t size, size_t count, void* self);
    static int prerequestCallback(void* self, char* address, char* localAddress, int remotePort,
                                  int localPort);
    static CURLcode sslContextCallback(CURL* easy, void* context, void* self);
    size_t bodyArrived(const char* data, size_t size);
    void headerArrived(QByteArrayView line);
    bool connectionReady();
    CURLcode prepareTls(void* context);
    void transferEnded(CURLcode code);
    void release();
    void readTransferFacts();

    CurlMulti& m_multi;
    CURL* m_easy = nullptr;
    curl_slist* m_headers = nullptr;
    HttpRequest m_request;
    HttpResult m_result;
    bool m_running = false;
    char m_error[CURL_ERROR_SIZE] = {};
};
