#include "monitor/TlsProbeTest.h"

#include "monitor/GbkText.h"
#include "monitor/RequestPayload.h"
#include "monitor/SocketElement.h"
#include "monitor/TcpProbe.h"
#include "monitor/TextNumbers.h"
#include "tls/TlsContext.h"

TlsProbeTest::TlsProbeTest(QObject* parent)
    : QObject(parent)
    , WskTls(new SocketElement(0, this)) {
    m_timeOut.setSingleShot(true);
    connect(&m_timeOut, &QTimer::timeout, this, &TlsProbeTest::timedOut);
    connect(WskTls, &SocketElement::Connected, this, &TlsProbeTest::WskTls_Connect);
    connect(WskTls, &SocketElement::DataArrival, this, &TlsProbeTest::WskTls_DataArrival);
    connect(WskTls, &SocketElement::Error, this, &TlsProbeTest::WskTls_Error);
}

TlsProbeTest::~TlsProbeTest() = default;

void TlsProbeTest::start(const Target& target, qint32 timeOutMs, const QString& caFile) {
    m_timeOut.stop();
    m_timeOutMs = timeOutMs;
    m_request = target.request;
    m_expected = target.expected;
    m_status.clear();
    m_reply.clear();
    m_elapsedMs = 0;
    m_facts.reset();
    m_handshakeUs = 0;
    WskTls->setTransport(target.options,
                         target.options.isPlain() ? nullptr : TlsContext::forCaFile(caFile));
    m_started.start();
    m_timeOut.start(qMax(1, timeOutMs));
    QString problem;
    if (!WskTls->Connect(target.host, leadingInteger(target.portText), &problem))
        finish(tr("测试错误：") + problem);
}

QString TlsProbeTest::stateText() const {
    return QStringLiteral("TLS[IP:") + WskTls->RemoteHost() + QLatin1Char(':') +
           QString::number(WskTls->RemotePort()) + tr("] 状态:") +
           SocketStateNames().value(WskTls->State());
}

void TlsProbeTest::WskTls_Connect(quint64) {
    keepHandshake();
    SendRequestText(*WskTls, m_request, true);
}

void TlsProbeTest::WskTls_DataArrival(quint64, qint64) {
    m_reply = WskTls->GetData();
    m_elapsedMs = m_started.elapsed();
    const QString reply = GbkText::decode(m_reply);
    finish(TcpProbe::replyMatches(reply, m_expected) ? tr("已收到正确的回应包")
                                                     : tr("应答包错误：") + reply);
}

void TlsProbeTest::WskTls_Error(quint64, int, const QString& description) {
    keepHandshake();
    m_elapsedMs = m_started.elapsed();
    finish(TcpProbe::faultStatus(WskTls->tlsFault(), description));
}

// A peer that stalls anywhere, in the STARTTLS exchange, the handshake or
// before its reply, ends here.
void TlsProbeTest::timedOut() {
    keepHandshake();
    m_elapsedMs = m_started.elapsed();
    finish(tr("SOCKET超时:%1ms").arg(m_timeOutMs));
}

void TlsProbeTest::keepHandshake() {
    if (const CertificateFacts* facts = WskTls->certificateFacts()) {
        m_facts = *facts;
        m_handshakeUs = WskTls->tlsHandshakeUs();
    }
}

void TlsProbeTest::finish(const QString& status) {
    m_timeOut.stop();
    WskTls->Close();
    m_status = status;
    emit finished();
}
