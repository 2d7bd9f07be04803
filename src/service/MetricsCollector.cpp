#include "service/MetricsCollector.h"

#include "catalogue/CatalogueEvents.h"
#include "catalogue/ModuleDB.h"
#include "fleet/FleetAgent.h"
#include "monitor/ServerRowModel.h"
#include "notify/ChannelDispatcher.h"
#include "platform/Clock.h"
#include "service/MetricsTextBuild.h"

#include <QDeadlineTimer>

#include <limits>

QByteArray MetricsCollector::seconds(qint64 ms) {
    return QByteArray::number(static_cast<double>(ms) / 1000.0, 'g', 12);
}

QByteArray MetricsCollector::secondsOfUs(qint64 us) {
    return QByteArray::number(static_cast<double>(us) / 1e6, 'g', 12);
}

void MetricsCollector::family(QByteArray& out, const char* name, const char* type,
                              const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

MetricsCollector::MetricsCollector(const ServerRowModel& rows, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_rows(rows)
    , m_clock(clock) {}

QByteArray MetricsCollector::labelValue(const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    QByteArray escaped;
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

void MetricsCollector::record(const ProbeOutcome& outcome) {
    Counters& counters = m_counters[outcome.serverId];
    counters.unreachable = outcome.unreachable;
    if (outcome.isSocket()) {
        ++counters.probes;
        counters.lastCorrect = outcome.kind == ProbeOutcome::Correct;
    }
    switch (outcome.kind) {
    case ProbeOutcome::Correct:
        counters.replyMs = outcome.ms;
        break;
    case ProbeOutcome::Wrong:
        counters.replyMs = outcome.ms;
        ++counters.wrong;
        break;
    case ProbeOutcome::SocketError:
        ++counters.errors;
        break;
    case ProbeOutcome::TimedOut:
        ++counters.timeouts;
        break;
    case ProbeOutcome::EchoAnswered:
        ++counters.echoesSent;
        counters.echoMs = outcome.ms;
        break;
    case ProbeOutcome::EchoLost:
        ++counters.echoesSent;
        ++counters.echoesLost;
        break;
    }
}

void MetricsCollector::passStarted() {
    m_passStartedMs = m_clock.monotonicMs();
}

void MetricsCollector::passFinished() {
    ++m_passes;
    if (m_passStartedMs >= 0)
        m_lastPassMs = m_clock.monotonicMs() - m_passStartedMs;
    m_passStartedMs = -1;
}

QByteArray MetricsCollector::text() const {
    QByteArray out;
    out.reserve(1024 + qsizetype(m_rows.rowCount()) * 1600);
    MetricsTextBuild build(*this);
    while (!build.fill(out, std::numeric_limits<qsizetype>::max(), QDeadlineTimer::Forever)) {
    }
    return out;
}

const MetricsCollector::Counters& MetricsCollector::countersOf(qint64 serverId) const {
    static const Counters none;
    const auto found = m_counters.constFind(serverId);
    return found == m_counters.cend() ? none : *found;
}

void MetricsCollector::appendHead(QByteArray& out) const {
    family(out, "servermon_build_info", "gauge", "The program's version.");
    out += "servermon_build_info{version=\"" SERVERMON_VERSION "\"} 1\n";
    family(out, "servermon_passes_total", "counter", "Monitoring passes completed.");
    out += "servermon_passes_total " + QByteArray::number(m_passes) + '\n';
    family(out, "servermon_last_pass_duration_seconds", "gauge",
           "Duration of the last completed pass, until its last echo.");
    if (m_lastPassMs >= 0)
        out += "servermon_last_pass_duration_seconds " + seconds(m_lastPassMs) + '\n';
}

void MetricsCollector::appendSummaries(QByteArray& out) const {
    appendNotifications(out);
    appendCatalogue(out);
    appendAgent(out);
}

// Only a shared catalogue can be offline or be changed by other copies.
void MetricsCollector::appendCatalogue(QByteArray& out) {
    if (!ModuleDB::DbShared())
        return;
    family(out, "servermon_catalogue_online", "gauge",
           "1 while the shared catalogue's database answers, 0 while the snapshot stands in.");
    out += QByteArray("servermon_catalogue_online ") + (ModuleDB::DbOnline() ? "1" : "0") + '\n';
    family(out, "servermon_catalogue_reloads_total", "counter",
           "Times servers were read again after another copy changed them or after a reconnect.");
    out += "servermon_catalogue_reloads_total " +
           QByteArray::number(ModuleDB::events()->reloads()) + '\n';
}

void MetricsCollector::appendAgent(QByteArray& out) const {
    if (!m_fleet)
        return;
    family(out, "servermon_agent_info", "gauge",
           "This agent's name and location among the agents sharing the catalogue.");
    out += "servermon_agent_info{agent=\"" + labelValue(m_fleet->name()) + "\",location=\"" +
           labelValue(m_fleet->location()) + "\"} 1\n";
    family(out, "servermon_agent_servers", "gauge", "Servers this agent holds now.");
    out += "servermon_agent_servers " + QByteArray::number(m_fleet->serverCount()) + '\n';
    family(out, "servermon_agent_heartbeat_age_seconds", "gauge",
           "Seconds since this agent last renewed its heartbeat in the catalogue.");
    out += "servermon_agent_heartbeat_age_seconds " + seconds(m_fleet->heartbeatAgeMs()) + '\n';
}

void MetricsCollector::appendNotifications(QByteArray& out) const {
    if (!m_channels || !m_channels->hasChannels())
        return;
    family(out, "servermon_notifications_total", "counter",
           "Channel messages by outcome: sent, retried (an attempt failed) or failed (given up).");
    const auto& counts = m_channels->counts();
    QStringList names = counts.keys();
    names.sort();
    for (const QString& name : std::as_const(names)) {
        const ChannelDispatcher::Counts& c = counts.value(name);
        for (const auto& [result, value] :
             {std::pair{"sent", c.sent}, std::pair{"retried", c.retried},
              std::pair{"failed", c.failed}})
            out += "servermon_notifications_total{channel=\"" + labelValue(name) + "\",result=\"" +
                   result + "\"} " + QByteArray::number(value) + '\n';
    }
    family(out, "servermon_notifications_queued", "gauge",
           "Channel messages waiting in the outbox.");
    out += "servermon_notifications_queued " + QByteArray::number(m_channels->queued()) + '\n';
}
