#pragma once

#include "tls/CertificateFacts.h"
#include "tls/TlsOptions.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class SocketElement;

// One TLS probe of a server outside the pass, for the details window: the
// connection with the server's transport (STARTTLS exchange, handshake and
// certificate judgement), the request once secured and the first reply
// checked against the expected text, all within the time-out. Its outcome
// reads as the list's Status would, and it keeps the facts of its own
// handshake; nothing is stored. Starting it again ends the one under way
// without an outcome.
class TlsProbeTest final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TlsProbeTest)
public:
    struct Target {
        QString host;
        QString portText; // read leniently: "81x" is 81
        TlsOptions options;
        QString request; // plain text, "ASC:" or "HEX:" codes
        QString expected;
    };

    explicit TlsProbeTest(QObject* parent = nullptr);
    ~TlsProbeTest() override;

    // caFile: certificates trusted besides the system's; empty: none.
    void start(const Target& target, qint32 timeOutMs, const QString& caFile);
    bool isRunning() const { return m_timeOut.isActive(); }

    // The outcome: the Status text, the first reply and the time from the
    // start of the connection to it.
    QString status() const { return m_status; }
    QByteArray reply() const { return m_reply; }
    qint64 elapsedMs() const { return m_elapsedMs; }
    // The facts of this test's handshake, also of a refused certificate.
    const std::optional<CertificateFacts>& facts() const { return m_facts; }
    qint64 handshakeUs() const { return m_handshakeUs; }
    // "TLS[IP:" host ":" port "] 状态:" state name, for the state label.
    QString stateText() const;

signals:
    void finished();

private:
    void WskTls_Connect(quint64 key);
    void WskTls_DataArrival(quint64 key, qint64 bytesTotal);
    void WskTls_Error(quint64 key, int number, const QString& description);
    void timedOut();
    void keepHandshake();
    void finish(const QString& status);

    SocketElement* WskTls;
    QTimer m_timeOut;
    QElapsedTimer m_started;
    qint32 m_timeOutMs = 0;
    QString m_request;
    QString m_expected;
    QString m_status;
    QByteArray m_reply;
    qint64 m_elapsedMs = 0;
    std::optional<CertificateFacts> m_facts;
    qint64 m_handshakeUs = 0;
};
