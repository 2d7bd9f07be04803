#pragma once

#include "monitor/ResultRecorder.h"

#include <QString>

#include <functional>

// The pass as the probe of a row sees it: where the probe's replies are
// counted and its results go. Rows are rows of the ServerRowModel.
class ProbePass {
public:
    virtual ~ProbePass() = default;

    // A reply came for the row of key. It counts among the pass's replies at
    // once; judge(row) runs once the events that came in meanwhile have been
    // handled, unless the row has gone by then.
    virtual void replyArrived(quint64 key, const std::function<void(int row)>& judge) = 0;
    // A result of the row's probe, recorded with the time of the probe's TLS
    // handshake (0 without one). A fault (a wrong reply, a socket error, a
    // time-out), already counted on the row, counts for the pass too and
    // alerts when the row's run of faults has just reached the limit.
    virtual void probeResult(int row, ProbeOutcome::Kind kind, qint64 ms, qint64 handshakeUs) = 0;
    // The row's probe has just completed a handshake and kept its
    // certificate facts on the row.
    virtual void certificateRead(int row) = 0;
    // Alerts about the row when count has just reached limit.
    virtual void alertAtLimit(int row, qint32 count, qint32 limit, const QString& title) = 0;
};
