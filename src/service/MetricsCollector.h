#pragma once

#include "monitor/ResultRecorder.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class ChannelDispatcher;
class FleetAgent;
class Clock;
class ServerRowModel;

// Counts the monitor's results per server and writes them, with the
// servers loaded now, in the Prometheus text exposition format 0.0.4. Labels
// and the consecutive fault counts come from the rows at the moment of the
// scrape; counters belong to the server's catalogue ID, so they keep
// counting across reloads of the list. The per-server part of the text is
// written by MetricsTextBuild, which can build it in slices.
class MetricsCollector final : public QObject, public ResultRecorder {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsCollector)
public:
    MetricsCollector(const ServerRowModel& rows, const Clock& clock, QObject* parent = nullptr);

    struct Counters {
        quint64 probes = 0;
        quint64 wrong = 0;
        quint64 errors = 0;
        quint64 timeouts = 0;
        quint64 echoesSent = 0;
        quint64 echoesLost = 0;
        bool lastCorrect = false;
        qint32 replyMs = -1;      // -1 until a reply came
        qint32 echoMs = -1;       // -1 until an echo was answered
        bool unreachable = false; // as the last result found it
    };

    void record(const ProbeOutcome& outcome) override;
    void passStarted();
    void passFinished();

    // The whole text at once.
    QByteArray text() const;

    const ServerRowModel& rows() const { return m_rows; }
    // The server's counts; all zero while none was counted.
    const Counters& countersOf(qint64 serverId) const;
    // The families before the per-server ones: build and passes.
    void appendHead(QByteArray& out) const;
    // The families between the counts and the HTTP and TLS facts:
    // notifications, the shared catalogue, the fleet agent.
    void appendSummaries(QByteArray& out) const;
    // The deliveries of the notification channels; described only while
    // some channel is configured.
    void setChannels(const ChannelDispatcher* channels) { m_channels = channels; }
    // The agent this copy is in a fleet sharing a catalogue; described only
    // when set.
    void setFleet(const FleetAgent* agent) { m_fleet = agent; }

    // A label value as the format writes it: backslash, double quote and
    // line feed escaped.
    static QByteArray labelValue(const QString& value);
    // Milliseconds and microseconds as the format's seconds.
    static QByteArray seconds(qint64 ms);
    static QByteArray secondsOfUs(qint64 us);
    // A family's HELP and TYPE lines.
    static void family(QByteArray& out, const char* name, const char* type, const char* help);

private:
    void appendNotifications(QByteArray& out) const;
    static void appendCatalogue(QByteArray& out);
    void appendAgent(QByteArray& out) const;

    const ServerRowModel& m_rows;
    const Clock& m_clock;
    const ChannelDispatcher* m_channels = nullptr;
    const FleetAgent* m_fleet = nullptr;
    QHash<qint64, Counters> m_counters;
    quint64 m_passes = 0;
    qint64 m_passStartedMs = -1;
    qint64 m_lastPassMs = -1; // -1 until a pass finished
};
