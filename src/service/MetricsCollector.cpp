#include "service/MetricsCollector.h"

#include "catalogue/CatalogueEvents.h"
#include "catalogue/ModuleDB.h"
#include "fleet/FleetAgent.h"
#include "http/HttpExchangeFacts.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextNumbers.h"
#include "notify/ChannelDispatcher.h"
#include "platform/Clock.h"
#include "tls/CertificateFacts.h"

#include <QList>

#include <functional>

namespace {

using Col = ServerRowModel::Column;

QByteArray seconds(qint64 ms) {
    return QByteArray::number(static_cast<double>(ms) / 1000.0, 'g', 12);
}

QByteArray secondsOfUs(qint64 us) {
    return QByteArray::number(static_cast<double>(us) / 1e6, 'g', 12);
}

void family(QByteArray& out, const char* name, const char* type, const char* help) {
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

} // namespace

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
    const int rowCount = m_rows.rowCount();
    // Each row's labels without the closing brace, and its counters.
    QList<QByteArray> labels;
    QList<const Counters*> counters;
    labels.reserve(rowCount);
    counters.reserve(rowCount);
    static const Counters none;
    for (int row = 0; row < rowCount; ++row) {
        const QString id = m_rows.text(row, Col::ID);
        labels.append("{id=\"" + labelValue(id) + "\",name=\"" +
                      labelValue(m_rows.text(row, Col::DisplayName)) + "\",address=\"" +
                      labelValue(m_rows.text(row, Col::IPAddress)) + "\",port=\"" +
                      labelValue(m_rows.text(row, Col::Port)) + '"');
        const auto found = m_counters.constFind(id.toLongLong());
        counters.append(found == m_counters.cend() ? &none : &*found);
    }

    QByteArray out;
    out.reserve(1024 + qsizetype(rowCount) * 1600);
    family(out, "servermon_build_info", "gauge", "The program's version.");
    out += "servermon_build_info{version=\"" SERVERMON_VERSION "\"} 1\n";
    family(out, "servermon_passes_total", "counter", "Monitoring passes completed.");
    out += "servermon_passes_total " + QByteArray::number(m_passes) + '\n';
    family(out, "servermon_last_pass_duration_seconds", "gauge",
           "Duration of the last completed pass, until its last echo.");
    if (m_lastPassMs >= 0)
        out += "servermon_last_pass_duration_seconds " + seconds(m_lastPassMs) + '\n';

    // One sample per server; a value of nothing leaves the server out.
    const auto perServer = [&](const char* name, const char* type, const char* help,
                               const std::function<QByteArray(int)>& value) {
        family(out, name, type, help);
        for (int row = 0; row < rowCount; ++row) {
            const QByteArray v = value(row);
            if (v.isNull())
                continue;
            out += name;
            out += labels.at(row);
            out += "} ";
            out += v;
            out += '\n';
        }
    };
    perServer("servermon_reply_correct", "gauge",
              "1 when the last socket probe got the expected reply, else 0.",
              [&](int row) { return QByteArray(counters.at(row)->lastCorrect ? "1" : "0"); });
    perServer("servermon_reply_seconds", "gauge", "Reply time of the last reply.", [&](int row) {
        const qint32 ms = counters.at(row)->replyMs;
        return ms < 0 ? QByteArray() : seconds(ms);
    });
    perServer("servermon_echo_seconds", "gauge", "Round-trip time of the last answered echo.",
              [&](int row) {
                  const qint32 ms = counters.at(row)->echoMs;
                  return ms < 0 ? QByteArray() : seconds(ms);
              });
    perServer("servermon_probes_total", "counter", "Socket probes completed.",
              [&](int row) { return QByteArray::number(counters.at(row)->probes); });

    const char* faults = "servermon_socket_faults_total";
    family(out, faults, "counter", "Socket faults by kind: wrong reply, socket error, time-out.");
    for (int row = 0; row < rowCount; ++row) {
        const Counters& c = *counters.at(row);
        for (const auto& [kind, count] : {std::pair{"wrong", c.wrong}, std::pair{"error", c.errors},
                                          std::pair{"timeout", c.timeouts}}) {
            out += faults;
            out += labels.at(row);
            out += ",kind=\"";
            out += kind;
            out += "\"} ";
            out += QByteArray::number(count);
            out += '\n';
        }
    }

    perServer("servermon_echoes_sent_total", "counter", "Echoes sent and completed.",
              [&](int row) { return QByteArray::number(counters.at(row)->echoesSent); });
    perServer("servermon_echoes_lost_total", "counter", "Echoes lost.",
              [&](int row) { return QByteArray::number(counters.at(row)->echoesLost); });
    perServer("servermon_consecutive_socket_faults", "gauge",
              "Socket faults in a row, as the list shows them.", [&](int row) {
                  return QByteArray::number(leadingInteger(m_rows.text(row, Col::ReplyErr)));
              });
    perServer("servermon_consecutive_lost_echoes", "gauge",
              "Lost echoes in a row, as the list shows them.", [&](int row) {
                  return QByteArray::number(leadingInteger(m_rows.text(row, Col::PingErr)));
              });

    // Whether each server with a parent fails below a failing ancestor; no
    // family at all while no loaded server has a parent.
    bool dependent = false;
    for (int row = 0; row < rowCount && !dependent; ++row)
        dependent = m_rows.parentId(row) > 0;
    if (dependent)
        perServer("servermon_unreachable", "gauge",
                  "1 when the server fails while a server it depends on is failing, else 0.",
                  [&](int row) {
                      return m_rows.parentId(row) > 0
                                 ? QByteArray(counters.at(row)->unreachable ? "1" : "0")
                                 : QByteArray();
                  });

    appendNotifications(out);
    appendCatalogue(out);
    appendAgent(out);

    // The last exchange of the HTTP rows; no family at all while none has
    // had one, so a catalogue of TCP servers is described as before.
    bool http = false;
    for (int row = 0; row < rowCount && !http; ++row)
        http = m_rows.httpFacts(row) != nullptr;
    if (http) {
        const char* duration = "servermon_http_duration_seconds";
        family(out, duration, "gauge",
               "Phases of the last HTTP exchange: resolve, connect, tls, processing, transfer.");
        for (int row = 0; row < rowCount; ++row) {
            const HttpExchangeFacts* facts = m_rows.httpFacts(row);
            if (!facts)
                continue;
            const HttpTimings& t = facts->timings;
            for (const auto& [phase, us] :
                 {std::pair{"resolve", t.resolveUs}, std::pair{"connect", t.connectUs},
                  std::pair{"tls", t.tlsUs}, std::pair{"processing", t.processingUs},
                  std::pair{"transfer", t.transferUs}}) {
                out += duration;
                out += labels.at(row);
                out += ",phase=\"";
                out += phase;
                out += "\"} ";
                out += secondsOfUs(us);
                out += '\n';
            }
        }
        const auto httpFact = [this](int (*value)(const HttpExchangeFacts&)) {
            return [this, value](int row) {
                const HttpExchangeFacts* facts = m_rows.httpFacts(row);
                return facts ? QByteArray::number(value(*facts)) : QByteArray();
            };
        };
        perServer("servermon_http_status_code", "gauge",
                  "Status code of the last HTTP reply; 0 when none came.",
                  httpFact([](const HttpExchangeFacts& f) { return f.statusCode; }));
        perServer("servermon_http_redirects", "gauge",
                  "Redirects followed by the last HTTP exchange.",
                  httpFact([](const HttpExchangeFacts& f) { return f.redirects; }));
    }

    // The certificate facts of the rows whose probe has completed a
    // handshake; no family at all while none has, so a catalogue of plain
    // servers is described as before.
    bool secured = false;
    for (int row = 0; row < rowCount && !secured; ++row)
        secured = m_rows.certificateFacts(row) != nullptr;
    if (!secured)
        return out;
    const auto fact = [this](QByteArray (*value)(const CertificateFacts&)) {
        return [this, value](int row) {
            const CertificateFacts* facts = m_rows.certificateFacts(row);
            return facts ? value(*facts) : QByteArray();
        };
    };
    perServer("servermon_tls_leaf_not_after_seconds", "gauge",
              "Expiry of the server's certificate, in seconds since 1970 UTC.",
              fact([](const CertificateFacts& f) { return QByteArray::number(f.leafNotAfter); }));
    perServer("servermon_tls_chain_earliest_not_after_seconds", "gauge",
              "Earliest expiry in the server's certificate chain, in seconds since 1970 UTC.",
              fact([](const CertificateFacts& f) { return QByteArray::number(f.chainNotAfter); }));
    perServer("servermon_tls_verified", "gauge",
              "1 when the server's certificate chain and name were verified, else 0.",
              fact([](const CertificateFacts& f) {
                  return QByteArray(f.verification == CertificateFacts::Verification::Ok ? "1"
                                                                                         : "0");
              }));
    perServer("servermon_tls_handshake_seconds", "gauge", "Duration of the last TLS handshake.",
              [&](int row) {
                  return m_rows.certificateFacts(row) ? secondsOfUs(m_rows.tlsHandshakeUs(row))
                                                      : QByteArray();
              });
    return out;
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
