#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QTcpSocket;

// The ten names of the socket states 0 to 9.
const QStringList& SocketStateNames();

// A TCP client with the events and state numbers 0-9 of the probe's socket
// control. Events name their element by its key, so a handler finds the
// row it belongs to even after the list was sorted or reloaded.
class SocketElement final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketElement)
public:
    explicit SocketElement(quint64 key = 0, QObject* parent = nullptr);
    ~SocketElement() override;

    quint64 key() const { return m_key; }
    void Connect(const QString& remoteHost, int remotePort);
    void Close();
    int State() const;
    QString RemoteHost() const;
    int RemotePort() const;
    void SendData(const QByteArray& bytes);
    QByteArray GetData(); // everything received so far
    QTcpSocket& socket();

signals:
    void Connected(quint64 key);
    void DataArrival(quint64 key, qint64 bytesTotal);
    void Error(quint64 key, int number, const QString& description);

private:
    quint64 m_key;
    QTcpSocket* m_socket;
    QString m_remoteHost;
    int m_remotePort = 0;
    int m_state = 0;
};
