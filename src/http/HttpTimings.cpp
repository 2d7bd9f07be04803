#include "http/HttpTimings.h"

// Each phase runs from the latest moment reached before it; a moment libcurl
// never marked (no TLS, no reply) leaves its phase at 0 and the time goes to
// the next phase that was reached.
HttpTimings HttpTimings::fromMarks(qint64 resolvedUs, qint64 connectedUs, qint64 securedUs,
                                   qint64 firstByteUs, qint64 totalUs) {
    HttpTimings timings;
    timings.totalUs = qMax<qint64>(0, totalUs);
    qint64 last = 0;
    const auto phase = [&last](qint64 mark) {
        if (mark <= 0)
            return qint64(0);
        const qint64 length = qMax<qint64>(0, mark - last);
        last = qMax(last, mark);
        return length;
    };
    timings.resolveUs = phase(resolvedUs);
    timings.connectUs = phase(connectedUs);
    timings.tlsUs = phase(securedUs);
    timings.processingUs = phase(firstByteUs);
    timings.transferUs = phase(timings.totalUs);
    return timings;
}
