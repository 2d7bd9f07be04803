#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QPlainTextEdit;
class SocketElement;

// The manual socket test of the server dialogs: connect, send the request
// once connected, show the first reply in the output box and close. It has
// no time-out; starting it again closes and reconnects.
class OneShotTest final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OneShotTest)
public:
    // request is read when the connection is up; hexEnabled accepts the
    // "HEX:" request form besides plain text and "ASC:".
    OneShotTest(QPlainTextEdit& output, std::function<QString()> request, bool hexEnabled,
                QObject* parent = nullptr);
    ~OneShotTest() override;

    // portText is read leniently: "81x" is 81, "abc" is 0.
    void start(const QString& host, const QString& portText);
    // "SOCKET[IP:" host ":" port "] 状态:" state name, for the state label.
    QString stateText() const;

signals:
    void started();
    void replyArrived(const QByteArray& bytes);

private:
    void WskWeb_Connect(quint64 key);
    void WskWeb_DataArrival(quint64 key, qint64 bytesTotal);
    void WskWeb_Error(quint64 key, int number, const QString& description);

    QPlainTextEdit& m_output;
    std::function<QString()> m_request;
    bool m_hexEnabled;
    SocketElement* WskWeb;
};
