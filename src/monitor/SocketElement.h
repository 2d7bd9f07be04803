#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QHostInfo;
class QSocketNotifier;

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

signals:
    void Connected(quint64 key);
    void DataArrival(quint64 key, qint64 bytesTotal);
    // number is the system's error number (errno).
    void Error(quint64 key, int number, const QString& description);

private:
    enum class Phase { Closed, Resolving, Connecting, Connected, PeerClosed, Failed };

    void hostFound(const QHostInfo& info);
    void connectNext();
    void release();
    void fail(int number);
    void readable();
    void writable();
    void exceptional();
    void flush();
    void watch(QSocketNotifier*& notifier, int type, void (SocketElement::*handler)());

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
};
