#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class TlsContext;

// What one HTTP exchange sends and how far it goes.
struct HttpRequest {
    static constexpr qsizetype DefaultBodyLimit = 1024 * 1024;

    QByteArray url;                         // http:// or https://, encoded
    QString method = QStringLiteral("GET"); // GET, HEAD, POST or PUT
    QList<QByteArray> headers;              // "Name: value" each
    QByteArray body;                        // sent with POST and PUT only
    qint32 timeOutMs = 10000;               // the whole exchange, redirects included
    bool followRedirects = true;            // at most MaxRedirects hops
    // Certificate faults do not end the exchange; their facts are still read.
    bool ignoreCertificateErrors = false;
    // The certificates trusted for HTTPS; nullptr: the system's alone.
    std::shared_ptr<TlsContext> trust;
    // The body is read this far, decompressed; the transfer ends there.
    qsizetype bodyLimit = DefaultBodyLimit;

    static constexpr long MaxRedirects = 10;
};
