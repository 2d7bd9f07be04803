#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QTcpSocket;

// The ten names of the socket states 0 to 9.
const QStringList& SocketStateNames();

// A TCP client with the events and state numbers 0-9 of the probe's socket
// control. Events name their element by its key, so a handler finds the
// row it belongs to even after the list was sorted or reloaded. Events of
// an earlier connection never arrive after Close or a new Connect.
class SocketElement final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketElement)
public:
    explicit SocketElement(quint64 key = 0, QObject* parent = nullptr);
    ~SocketElement() override;

    quint64 key() const { return m_key; }
    // Starts connecting and returns at once; the outcome arrives as Connected
    // or Error. An unusable argument fails at the call: false, with the
    // reason in *error.
    bool Connect(const QString& remoteHost, int remotePort, QString* error = nullptr);
    // Ends the connection at once, without any event; allowed in every state.
    void Close();
    int State() const;
    QString RemoteHost() const { return m_remoteHost; }
    int RemotePort() const { return m_remotePort; }
    void SendData(const QByteArray& bytes);
    QByteArray GetData(); // everything received so far
    QTcpSocket& socket();

signals:
    void Connected(quint64 key);
    void DataArrival(quint64 key, qint64 bytesTotal);
    void Error(quint64 key, int number, const QString& description);

private:
    void onErrorOccurred();
    void onDisconnected();

    quint64 m_key;
    QTcpSocket* m_socket = nullptr; // made on first use
    QString m_remoteHost;
    int m_remotePort = 0;
    bool m_inConnect = false;
    bool m_failed = false;
    bool m_peerClosed = false;
    quint64 m_attempt = 0; // raised by Close and Connect; stale deferred events check it
};
