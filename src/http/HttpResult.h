#pragma once

#include "http/HttpTimings.h"
#include "tls/CertificateFacts.h"
#include "tls/TlsFault.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// What one HTTP exchange brought back: the last reply (after the redirects
// followed), or why there was none.
struct HttpResult {
    enum class Failure : quint8 {
        None,             // a reply came; its status is the judge's to weigh
        Connection,       // no reply: name lookup, connect, reset, a broken reply
        TimedOut,         // the time-out ended the exchange
        TooManyRedirects, // the redirect limit was reached
        Tls,              // a TLS fault: tlsFault says which
    };

    Failure failure = Failure::None;
    QString error;     // libcurl's description of a failure
    TlsFault tlsFault; // for Failure::Tls

    int statusCode = 0;        // 0 without a reply
    QByteArray statusLine;     // "HTTP/1.1 200 OK", without the line end
    QList<QByteArray> headers; // of the last reply, "Name: value" each
    QByteArray body;           // decompressed, at most the request's limit
    bool bodyCut = false;      // the body went on beyond the limit
    int redirects = 0;         // redirects followed
    HttpTimings timings;
    // The facts of the first TLS handshake of the exchange, also of a
    // certificate refused; nothing over plain HTTP.
    std::optional<CertificateFacts> facts;

    // The value of the last reply's first header of that name, without
    // regard to case; empty when it has none.
    QByteArray header(QByteArrayView name) const;
    // The body as text: in the charset the Content-Type names when Qt knows
    // it, else as UTF-8.
    QString bodyText() const;
};
