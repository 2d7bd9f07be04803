#pragma once

#include "tls/TlsFault.h"
#include "tls/TlsOptions.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QHostInfo;
class QSocketNotifier;
class TlsContext;
struct CertificateFacts;

// The ten names of the socket states 0 to 9.
QStringList SocketStateNames();

// A TCP client with the events and state numbers 0-9 of the probe's socket
// control, on a non-blocking socket of its own watched by socket notifiers.
// Events name their element by its key, so a handler finds the row it
// belongs to even after the list was sorted or reloaded. Events of an
// earlier connection never arrive after Close or a new Connect.
//
// A reset by the peer (before or after the request) is an error; an orderly
// close by the peer is none and leaves the element in state 8. A failed
// connection is never tried again, except on the next address of a host
// name that resolves to several.
//
// With a transport other than plain, the made connection first runs the
// STARTTLS exchange where the transport has one, then the TLS handshake, on
// the same socket and notifiers; Connected comes only after both. From then
// on SendData and GetData carry plaintext and DataArrival reports plaintext
// only. A failed exchange, handshake or certificate raises Error, which
// tlsFault() tells apart from a socket error; a reset is a socket error as
// ever; a peer that stops answering raises nothing.
class SocketElement final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketElement)
public:
    // The most GetData returns at once: what stays in the kernel beyond it
    // is never read, so an endless peer cannot grow the program.
    static constexpr qsizetype ReadLimit = 64 * 1024;
    static constexpr int ErrorState = 9; // State() after an error, until Close

    explicit SocketElement(quint64 key = 0, QObject* parent = nullptr);
    ~SocketElement() override;

    quint64 key() const { return m_key; }
    // For an element taken over by another row while closed.
    void setKey(quint64 key) { m_key = key; }
    // Starts connecting (an address literal at once, a host name after it
    // resolved) and returns at once; the outcome arrives as Connected or
    // Error. An unusable argument fails at the call: false, with the reason
    // in *error.
    bool Connect(const QString& remoteHost, int remotePort, QString* error = nullptr);
    // Ends the connection at once, without any event; allowed in every state.
    void Close();
    int State() const;
    QString RemoteHost() const { return m_remoteHost; }
    int RemotePort() const { return m_remotePort; }
    // Queues bytes for sending on the connection; what the peer does not
    // take at once is sent as it drains.
    void SendData(const QByteArray& bytes);
    // The bytes waiting now, at most ReadLimit, in one piece.
    QByteArray GetData();
    qint64 bytesAvailable() const; // waiting to be fetched, beyond ReadLimit too
    qsizetype bytesToWrite() const { return m_pending.size() - m_pendingSent; }

    // The text after "SOCKET错误:" for a system error number.
    static QString errorDescription(int number);

    // The transport of the connections from the next Connect on; ends the
    // connection under way, without any event. context holds the trust the
    // server's certificate is checked against (unused for plain).
    void setTransport(const TlsOptions& options, std::shared_ptr<TlsContext> context);
    // The TLS fault behind the last Error: kind None for a socket error.
    TlsFault tlsFault() const;
    // The facts of this connection's completed handshake, also when its
    // certificate was refused; nullptr before it and for plain connections.
    const CertificateFacts* certificateFacts() const;
    qint64 tlsHandshakeUs() const; // 0 without a completed handshake

signals:
    void Connected(quint64 key);
    void DataArrival(quint64 key, qint64 bytesTotal);
    // number is the system's error number (errno).
    void Error(quint64 key, int number, const QString& description);

private:
    enum class Phase { Closed, Resolving, Connecting, Securing, Connected, PeerClosed, Failed };
    struct Secured;

    void hostFound(const QHostInfo& info);
    void connectNext();
    void release();
    void fail(int number);
    void fail(int number, const QString& description);
    void readable();
    void writable();
    void exceptional();
    void flush();
    void watch(QSocketNotifier*& notifier, int type, void (SocketElement::*handler)());
    bool admitSecuredStep(QSocketNotifier* notifier, void (SocketElement::*step)());
    void startSecuring();
    void pumpSecured();
    void sendSecured();
    void failSecured();
    void reportPlaintext();
    void dropLink();

    quint64 m_key;
    QString m_remoteHost;
    int m_remotePort = 0;
    Phase m_phase = Phase::Closed;
    int m_fd = -1;
    int m_lookupId = -1;
    bool m_inCall = false; // inside Connect or SendData: errors are delivered after the call
    bool m_readSinceArrival = false;
    quint64 m_attempt = 0;           // raised by Close; deferred events check it
    QList<QHostAddress> m_addresses; // still to try, in order
    QByteArray m_pending;            // queued request bytes
    qsizetype m_pendingSent = 0;
    QSocketNotifier* m_read = nullptr; // made on first use, reused per connection
    QSocketNotifier* m_write = nullptr;
    QSocketNotifier* m_exception = nullptr;
    std::unique_ptr<Secured> m_secured; // only for a transport other than plain
};
