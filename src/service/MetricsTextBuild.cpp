#include "service/MetricsTextBuild.h"

#include "http/HttpExchangeFacts.h"
#include "monitor/TextNumbers.h"
#include "service/MetricsCollector.h"
#include "tls/CertificateFacts.h"

#include <utility>

namespace {

using Col = ServerRowModel::Column;
using Group = MetricsTextBuild::Group;
using Counters = MetricsCollector::Counters;

// One server's line(s) of a family.
struct Sample {
    QByteArray& out;
    const char* name;
    QByteArrayView labels; // without the closing brace
    const ServerRowModel& rows;
    int row;
    const Counters& counters;

    void value(QByteArrayView v) const {
        out += name;
        out += labels;
        out += "} ";
        out += v;
        out += '\n';
    }
    // A line with one more label.
    void value(const char* label, const char* labelValue, QByteArrayView v) const {
        out += name;
        out += labels;
        out += ',';
        out += label;
        out += "=\"";
        out += labelValue;
        out += "\"} ";
        out += v;
        out += '\n';
    }
};

struct Family {
    const char* name;
    const char* type;
    const char* help;
    Group group;
    void (*write)(const Sample& sample);
};

QByteArrayView flag(bool on) {
    return on ? "1" : "0";
}

const std::array Families = {
    Family{"servermon_reply_correct", "gauge",
           "1 when the last socket probe got the expected reply, else 0.", Group::Always,
           [](const Sample& s) { s.value(flag(s.counters.lastCorrect)); }},
    Family{"servermon_reply_seconds", "gauge", "Reply time of the last reply.", Group::Always,
           [](const Sample& s) {
               if (s.counters.replyMs >= 0)
                   s.value(MetricsCollector::seconds(s.counters.replyMs));
           }},
    Family{"servermon_echo_seconds", "gauge", "Round-trip time of the last answered echo.",
           Group::Always,
           [](const Sample& s) {
               if (s.counters.echoMs >= 0)
                   s.value(MetricsCollector::seconds(s.counters.echoMs));
           }},
    Family{"servermon_probes_total", "counter", "Socket probes completed.", Group::Always,
           [](const Sample& s) { s.value(QByteArray::number(s.counters.probes)); }},
    Family{"servermon_socket_faults_total", "counter",
           "Socket faults by kind: wrong reply, socket error, time-out.", Group::Always,
           [](const Sample& s) {
               s.value("kind", "wrong", QByteArray::number(s.counters.wrong));
               s.value("kind", "error", QByteArray::number(s.counters.errors));
               s.value("kind", "timeout", QByteArray::number(s.counters.timeouts));
           }},
    Family{"servermon_echoes_sent_total", "counter", "Echoes sent and completed.", Group::Always,
           [](const Sample& s) { s.value(QByteArray::number(s.counters.echoesSent)); }},
    Family{"servermon_echoes_lost_total", "counter", "Echoes lost.", Group::Always,
           [](const Sample& s) { s.value(QByteArray::number(s.counters.echoesLost)); }},
    Family{"servermon_consecutive_socket_faults", "gauge",
           "Socket faults in a row, as the list shows them.", Group::Always,
           [](const Sample& s) {
               s.value(QByteArray::number(leadingInteger(s.rows.text(s.row, Col::ReplyErr))));
           }},
    Family{"servermon_consecutive_lost_echoes", "gauge",
           "Lost echoes in a row, as the list shows them.", Group::Always,
           [](const Sample& s) {
               s.value(QByteArray::number(leadingInteger(s.rows.text(s.row, Col::PingErr))));
           }},
    Family{"servermon_unreachable", "gauge",
           "1 when the server fails while a server it depends on is failing, else 0.",
           Group::Dependent,
           [](const Sample& s) {
               if (s.rows.parentId(s.row) > 0)
                   s.value(flag(s.counters.unreachable));
           }},
    Family{"servermon_http_duration_seconds", "gauge",
           "Phases of the last HTTP exchange: resolve, connect, tls, processing, transfer.",
           Group::Http,
           [](const Sample& s) {
               const HttpExchangeFacts* facts = s.rows.httpFacts(s.row);
               if (!facts)
                   return;
               const HttpTimings& t = facts->timings;
               for (const auto& [phase, us] :
                    {std::pair{"resolve", t.resolveUs}, std::pair{"connect", t.connectUs},
                     std::pair{"tls", t.tlsUs}, std::pair{"processing", t.processingUs},
                     std::pair{"transfer", t.transferUs}})
                   s.value("phase", phase, MetricsCollector::secondsOfUs(us));
           }},
    Family{"servermon_http_status_code", "gauge",
           "Status code of the last HTTP reply; 0 when none came.", Group::Http,
           [](const Sample& s) {
               if (const HttpExchangeFacts* facts = s.rows.httpFacts(s.row))
                   s.value(QByteArray::number(facts->statusCode));
           }},
    Family{"servermon_http_redirects", "gauge", "Redirects followed by the last HTTP exchange.",
           Group::Http,
           [](const Sample& s) {
               if (const HttpExchangeFacts* facts = s.rows.httpFacts(s.row))
                   s.value(QByteArray::number(facts->redirects));
           }},
    Family{"servermon_tls_leaf_not_after_seconds", "gauge",
           "Expiry of the server's certificate, in seconds since 1970 UTC.", Group::Secured,
           [](const Sample& s) {
               if (const CertificateFacts* facts = s.rows.certificateFacts(s.row))
                   s.value(QByteArray::number(facts->leafNotAfter));
           }},
    Family{"servermon_tls_chain_earliest_not_after_seconds", "gauge",
           "Earliest expiry in the server's certificate chain, in seconds since 1970 UTC.",
           Group::Secured,
           [](const Sample& s) {
               if (const CertificateFacts* facts = s.rows.certificateFacts(s.row))
                   s.value(QByteArray::number(facts->chainNotAfter));
           }},
    Family{"servermon_tls_verified", "gauge",
           "1 when the server's certificate chain and name were verified, else 0.", Group::Secured,
           [](const Sample& s) {
               if (const CertificateFacts* facts = s.rows.certificateFacts(s.row))
                   s.value(flag(facts->verification == CertificateFacts::Verification::Ok));
           }},
    Family{"servermon_tls_handshake_seconds", "gauge", "Duration of the last TLS handshake.",
           Group::Secured,
           [](const Sample& s) {
               if (s.rows.certificateFacts(s.row))
                   s.value(MetricsCollector::secondsOfUs(s.rows.tlsHandshakeUs(s.row)));
           }},
};

// The text's order: the servers' labels first (no text), the head, the
// per-server families with the summaries among them.
constexpr int LabelStep = -3;
constexpr int HeadStep = -2;
constexpr int SummaryStep = -1;
constexpr std::array Steps = {LabelStep, HeadStep, 0,           1,  2,  3,  4,  5,  6,  7,
                              8,         9,        SummaryStep, 10, 11, 12, 13, 14, 15, 16};

// Between two looks at the clock.
constexpr int ServersPerLook = 32;

} // namespace

MetricsTextBuild::MetricsTextBuild(const MetricsCollector& collector)
    : m_collector(collector)
    , m_rows(collector.rows()) {
    const int rowCount = m_rows.rowCount();
    m_servers.resize(rowCount);
    for (int row = 0; row < rowCount; ++row)
        m_servers[row].key = m_rows.keyAt(row);
}

int MetricsTextBuild::rowOf(Server& server) {
    if (server.labelsSize < 0)
        return -1;
    // The rows keep their order, so the next server is usually on the next
    // row; keys start at 1, and past the last row keyAt() gives 0.
    const int row = m_rows.keyAt(m_rowHint) == server.key ? m_rowHint : m_rows.rowOfKey(server.key);
    if (row < 0)
        server.labelsSize = -1;
    else
        m_rowHint = row + 1;
    return row;
}

void MetricsTextBuild::labelServer(Server& server) {
    server.labelsSize = 0;
    const int row = rowOf(server);
    if (row < 0)
        return;
    const QString id = m_rows.text(row, Col::ID);
    server.id = id.toLongLong();
    const QByteArray labels =
        "{id=\"" + MetricsCollector::labelValue(id) + "\",name=\"" +
        MetricsCollector::labelValue(m_rows.text(row, Col::DisplayName)) + "\",address=\"" +
        MetricsCollector::labelValue(m_rows.text(row, Col::IPAddress)) + "\",port=\"" +
        MetricsCollector::labelValue(m_rows.text(row, Col::Port)) + '"';
    if (m_labels.isEmpty() || m_labels.last().size() + labels.size() > LabelBlockBytes) {
        m_labels.append(QByteArray());
        m_labels.last().reserve(qMax(LabelBlockBytes, labels.size()));
    }
    QByteArray& block = m_labels.last();
    server.labelsBlock = static_cast<qint32>(m_labels.size() - 1);
    server.labelsAt = static_cast<qint32>(block.size());
    server.labelsSize = static_cast<qint32>(labels.size());
    block += labels;
}

bool MetricsTextBuild::present(Group group) {
    std::optional<bool>& known = m_present[static_cast<std::size_t>(group)];
    if (known)
        return *known;
    bool any = group == Group::Always;
    for (int row = 0, count = m_rows.rowCount(); row < count && !any; ++row) {
        switch (group) {
        case Group::Dependent:
            any = m_rows.parentId(row) > 0;
            break;
        case Group::Http:
            any = m_rows.httpFacts(row) != nullptr;
            break;
        case Group::Secured:
            any = m_rows.certificateFacts(row) != nullptr;
            break;
        case Group::Always:
        case Group::Count:
            break;
        }
    }
    known = any;
    return any;
}

bool MetricsTextBuild::fill(QByteArray& out, qsizetype pieceBytes, const QDeadlineTimer& deadline) {
    int untilLook = ServersPerLook;
    const auto full = [&] {
        if (out.size() >= pieceBytes)
            return true;
        if (--untilLook > 0)
            return false;
        untilLook = ServersPerLook;
        return deadline.hasExpired();
    };
    for (; m_step < static_cast<int>(Steps.size()); ++m_step, m_next = 0, m_begun = false) {
        const int step = Steps.at(m_step);
        if (step == HeadStep) {
            m_collector.appendHead(out);
            continue;
        }
        if (step == SummaryStep) {
            m_collector.appendSummaries(out);
            continue;
        }
        const Family* family = step >= 0 ? &Families.at(step) : nullptr;
        if (family && !m_begun) {
            m_begun = true;
            if (!present(family->group))
                continue;
            MetricsCollector::family(out, family->name, family->type, family->help);
        }
        if (m_next == 0)
            m_rowHint = 0;
        for (; m_next < m_servers.size(); ++m_next) {
            if (full())
                return false;
            Server& server = m_servers[m_next];
            if (!family) {
                labelServer(server);
                continue;
            }
            const int row = rowOf(server);
            if (row < 0)
                continue;
            const QByteArrayView labels = QByteArrayView(m_labels.at(server.labelsBlock))
                                              .sliced(server.labelsAt, server.labelsSize);
            family->write(
                {out, family->name, labels, m_rows, row, m_collector.countersOf(server.id)});
        }
    }
    return true;
}
