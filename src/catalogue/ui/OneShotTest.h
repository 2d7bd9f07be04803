#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class MultiLineText;
class SocketElement;

// The manual socket test of the server dialogs: connect, send the request
// once connected, show the first reply in the output box and close. It has
// no time-out; starting it again closes and reconnects. The box shows at most
// the first MaxShownBytes of a reply, with a note when the rest was cut, so a
// peer that sends megabytes cannot hold the window.
class OneShotTest final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OneShotTest)
public:
    // A line this long still wraps in a few milliseconds.
    static constexpr qsizetype MaxShownBytes = 4 * 1024;

    // request is read when the connection is up; hexEnabled accepts the
    // "HEX:" request form besides plain text and "ASC:".
    OneShotTest(MultiLineText& output, std::function<QString()> request, bool hexEnabled,
                QObject* parent = nullptr);
    ~OneShotTest() override;

    // portText is read leniently: "81x" is 81, "abc" is 0.
    void start(const QString& host, const QString& portText);
    // "SOCKET[IP:" host ":" port "] 状态:" state name, for the state label.
    QString stateText() const;
    // Follows a reply cut to MaxShownBytes.
    static QString cutNote();
    // What the output box shows of a reply: its first MaxShownBytes, with
    // the note when the rest was cut.
    static QString shownReply(const QByteArray& bytes);

signals:
    void started();
    void replyArrived(const QByteArray& bytes);

private:
    void WskWeb_Connect(quint64 key);
    void WskWeb_DataArrival(quint64 key, qint64 bytesTotal);
    void WskWeb_Error(quint64 key, int number, const QString& description);

    MultiLineText& m_output;
    std::function<QString()> m_request;
    bool m_hexEnabled;
    SocketElement* WskWeb;
};
