#include "monitor/HttpProbeTest.h"

#include "http/CurlMulti.h"
#include "http/HttpExchange.h"
#include "monitor/HttpCheckPlan.h"
#include "monitor/TcpProbe.h"
#include "tls/TlsContext.h"

namespace {

QString msText(qint64 us) {
    return QString::number((us + 500) / 1000) + QStringLiteral("ms");
}

} // namespace

HttpProbeTest::HttpProbeTest(QObject* parent)
    : QObject(parent)
    , m_multi(std::make_unique<CurlMulti>())
    , m_exchange(std::make_unique<HttpExchange>(*m_multi)) {
    connect(m_exchange.get(), &HttpExchange::requestSent, this, [this] { m_sent = true; });
    connect(m_exchange.get(), &HttpExchange::finished, this, &HttpProbeTest::exchangeEnded);
}

HttpProbeTest::~HttpProbeTest() {
    m_exchange.reset();
}

bool HttpProbeTest::isRunning() const {
    return m_exchange->isRunning();
}

const HttpResult& HttpProbeTest::result() const {
    return m_exchange->result();
}

// A check whose texts make no request ends at once with the reason, as the
// list says it.
void HttpProbeTest::start(const Target& target, qint32 timeOutMs, const QString& caFile) {
    m_exchange->abort();
    m_target = target;
    m_status.clear();
    m_sent = false;
    QString reason;
    std::optional<HttpCheckPlan> plan = HttpCheckPlan::of(target.check, target.body, &reason);
    if (!plan) {
        finish(tr("SOCKET错误:") + reason);
        return;
    }
    HttpRequest& request = plan->request();
    request.timeOutMs = qMax(1, timeOutMs);
    request.ignoreCertificateErrors = target.ignoreErrors;
    request.trust = TlsContext::forCaFile(caFile);
    m_exchange->start(request);
}

void HttpProbeTest::exchangeEnded() {
    const HttpResult& result = m_exchange->result();
    switch (result.failure) {
    case HttpResult::Failure::None:
    case HttpResult::Failure::TooManyRedirects: {
        const std::optional<HttpCheckPlan> plan = HttpCheckPlan::of(m_target.check, m_target.body);
        const HttpCheckPlan::Verdict verdict =
            plan ? plan->judge(result, m_target.expected) : HttpCheckPlan::Verdict{};
        finish(verdict.correct ? tr("已收到正确的回应包") : verdict.status);
        break;
    }
    case HttpResult::Failure::TimedOut:
        finish(tr("SOCKET超时:%1ms").arg((result.timings.totalUs + 500) / 1000));
        break;
    case HttpResult::Failure::Tls:
        finish(TcpProbe::faultStatus(result.tlsFault, result.error));
        break;
    case HttpResult::Failure::Connection:
        finish(tr("SOCKET错误:") + result.error);
        break;
    }
}

void HttpProbeTest::finish(const QString& status) {
    m_status = status;
    emit finished();
}

QStringList HttpProbeTest::report() const {
    if (m_status.isEmpty())
        return {};
    QStringList lines{tr("HTTP测试:") + m_status};
    const HttpResult& r = result();
    const HttpTimings& t = r.timings;
    lines.append(tr("用时:%1 (解析 %2, 连接 %3, TLS %4, 等待首字节 %5, 传输 %6)")
                     .arg(msText(t.totalUs), msText(t.resolveUs), msText(t.connectUs),
                          msText(t.tlsUs), msText(t.processingUs), msText(t.transferUs)));
    lines.append(tr("重定向:%1次").arg(r.redirects));
    if (r.statusLine.isEmpty())
        return lines;
    lines.append(QString());
    lines.append(QString::fromUtf8(r.statusLine));
    for (const QByteArray& header : r.headers)
        lines.append(QString::fromUtf8(header));
    lines.append(QString());
    HttpResult shown;
    shown.headers = r.headers;
    shown.body = r.body.first(qMin(r.body.size(), ShownBodyBytes));
    QString body = shown.bodyText();
    if (r.body.size() > ShownBodyBytes || r.bodyCut)
        body += tr("…(只显示前%1KB)").arg(ShownBodyBytes / 1024);
    lines.append(body);
    return lines;
}

QString HttpProbeTest::stateText() const {
    const QString state = isRunning() ? (m_sent ? tr("等待回应") : tr("正在连接"))
                                      : (m_status.isEmpty() ? tr("空闲") : tr("已完成"));
    return QStringLiteral("HTTP[") + m_target.check.url + tr("] 状态:") + state;
}
