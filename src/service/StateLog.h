#pragma once

#include "monitor/ResultRecorder.h"

#include <QHash>
#include <QObject>
#include <QString>

class ServerRowModel;
class ServiceLog;

// Writes a line to the service log whenever a server's state changes: the
// server's ID, name, address and port, the old and the new state and the
// row's status text. A server's state is that of its last socket result
// unless that was correct in time, else that of its last echo: a socket fault
// says more than a lost echo. A correct reply beyond the server's warning
// time is "slow", a socket error that was a TLS fault (a failed handshake or
// STARTTLS exchange, a refused certificate) "tls-error". A server starts
// "unknown" and is never "ok" before its first socket result. A server that
// fails while a server it depends on is failing is "unreachable", above all
// the fault states.
class StateLog final : public QObject, public ResultRecorder {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StateLog)
public:
    StateLog(const ServerRowModel& rows, ServiceLog& log, QObject* parent = nullptr);

    void record(const ProbeOutcome& outcome) override;

private:
    struct Legs {
        QString socket;
        QString echo;
        bool unreachable = false;
    };
    static QString combined(const Legs& legs);
    int rowOfServer(qint64 serverId);

    const ServerRowModel& m_rows;
    ServiceLog& m_log;
    QHash<qint64, Legs> m_legs;
    QHash<qint64, quint64> m_keyOfServer; // rebuilt after the list changed
    bool m_keysStale = true;
};
