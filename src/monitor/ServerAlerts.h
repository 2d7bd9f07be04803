#pragma once

#include "monitor/AlertEvent.h"
#include "monitor/ServerRowModel.h"

#include <QCoreApplication>
#include <QHash>
#include <QString>

#include <functional>

class AlertSink;
class Clock;
class ServerSilence;
struct MonitorSettings;

// What the results of a row mean beyond its fault counters: correct replies
// slower than the server's WarnMs, counted as a run of their own against the
// reply limit; the notice when a run of socket faults or lost echoes that
// reached its limit ends; and whether the server is silenced. Nothing here
// acts for a server without WarnMs, with RECOVERYMSG off and no silence.
class ServerAlerts final {
    Q_DECLARE_TR_FUNCTIONS(ServerAlerts)
    Q_DISABLE_COPY_MOVE(ServerAlerts)
public:
    enum class Run { Socket, Echo };

    ServerAlerts(ServerRowModel& rows, const MonitorSettings& settings, Clock& clock,
                 AlertSink& alerts);

    // Silencing; without it no server is silenced.
    void setSilence(ServerSilence* silence) { m_silence = silence; }
    // Rows whose notices reach nobody for now besides silenced ones (in
    // maintenance, unreachable, flapping); none unless set.
    void setQuiet(std::function<bool(int row)> quiet) { m_quiet = std::move(quiet); }
    bool isSilenced(int row) const;
    // Where raised events also go (the notification channels); none unless set.
    void setFeed(AlertFeed* feed) { m_feed = feed; }
    // Hands the feed an event about the row with its server's facts.
    void feed(int row, AlertEvent::Kind kind, const QString& title, const QString& message,
              qint64 durationMs = -1) const;
    // The rows were replaced: every run starts afresh.
    void clear() { m_runs.clear(); }
    // Silences that have run out end before a pass.
    void passBegins();

    // A socket fault or a lost echo was just counted for the row.
    void faultCounted(int row, Run run);
    // A success ended the row's run of faults, faults long: a run that
    // reached its limit is reported as recovered.
    void runEnded(int row, Run run, qint32 faults);
    // A correct reply took elapsedMs: a slow one shows in Status and flags
    // the row slow (the ReplyTime tag "1"). Returns the run of consecutive
    // slow replies this one belongs to, 0 when it was not slow. Only a
    // correct reply in time ends such a run; faults are counted apart.
    qint32 correctReply(int row, qint64 elapsedMs);

    static QString durationText(qint64 ms);

private:
    struct State {
        qint32 slowReplies = 0;
        qint64 socketRunStart = -1; // monotonic ms of the run's first fault
        qint64 echoRunStart = -1;
    };
    static qint64& runStart(State& state, Run run);

    ServerRowModel& m_rows;
    const MonitorSettings& m_settings;
    Clock& m_clock;
    AlertSink& m_alerts;
    ServerSilence* m_silence = nullptr;
    AlertFeed* m_feed = nullptr;
    std::function<bool(int row)> m_quiet;
    QHash<ServerRowModel::RowKey, State> m_runs;
};
