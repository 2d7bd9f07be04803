#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class AlertFeed;
class AlertSink;
class EchoService;

// Tells whether this computer's own network works, from a list of reference
// addresses separated by blanks: an "address" is asked by an echo, an
// "address:port" by a TCP connection ("[::1]:80" for an IPv6 literal with a
// port; a bare IPv6 literal is echoed). All are asked at once with short
// waits. The network is up as soon as one answers or one cannot be asked at
// all (an echo the system does not permit, an entry that names nothing), and
// down once every one has failed. The operator is alerted once when it goes
// down and told once, quietly, when it is back.
class NetworkCheck final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkCheck)
public:
    struct Entry {
        enum class Kind { Echo, Tcp, Unusable };
        Kind kind = Kind::Unusable;
        QString host; // as the echo or the socket takes it
        quint16 port = 0;
        QString text; // as written
    };
    using Done = std::function<void(bool up)>;

    static constexpr int ConnectWaitMs = 1000;

    static QList<Entry> parseEntries(const QString& list);

    NetworkCheck(EchoService& echo, AlertSink& alerts, QObject* parent = nullptr);
    ~NetworkCheck() override;

    // Asks every entry of list and calls done once with the outcome, from the
    // event loop, unless another check starts first or the check is
    // destroyed. An empty list is up at once.
    void check(const QString& list, Done done);
    bool isDown() const { return m_down; }
    // Where the outage and its end also go; nowhere unless set.
    void setFeed(AlertFeed* feed) { m_feed = feed; }
    // Forgets an outage without telling anyone: the list was emptied.
    void reset() { m_down = false; }

private:
    void askEcho(const Entry& entry, quint64 serial);
    void askTcp(const Entry& entry, quint64 serial);
    void outcome(quint64 serial, bool answered, const QString& entry);
    void finish(bool up, const QString& entry);

    EchoService& m_echo;
    AlertSink& m_alerts;
    AlertFeed* m_feed = nullptr;
    quint64 m_serial = 0;       // of the check under way; outcomes of others are ignored
    int m_outstanding = 0;      // entries of the check still unanswered
    QObject* m_scope = nullptr; // owns the check's sockets and echoes
    QString m_list;
    Done m_done;
    bool m_down = false;
};
