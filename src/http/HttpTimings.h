#pragma once

#include <QtGlobal>

// Where the time of one HTTP exchange went, in µs. The phases add up to the
// total: the name lookup, the TCP connect, the TLS handshake (0 over plain
// HTTP), the wait from the request until the first byte of the reply, and
// the rest of the reply. After redirects each phase is the sum over the
// hops.
struct HttpTimings {
    qint64 resolveUs = 0;
    qint64 connectUs = 0;
    qint64 tlsUs = 0;
    qint64 processingUs = 0;
    qint64 transferUs = 0;
    qint64 totalUs = 0;

    // The phases from the moments libcurl marks, each counted from the
    // start: the name resolved, connected, TLS done (0 without TLS), the
    // first byte, the end. A moment not reached is 0, and so are the phases
    // it would end.
    static HttpTimings fromMarks(qint64 resolvedUs, qint64 connectedUs, qint64 securedUs,
                                 qint64 firstByteUs, qint64 totalUs);

    friend bool operator==(const HttpTimings&, const HttpTimings&) = default;
};
