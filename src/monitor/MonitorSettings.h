#pragma once

#include <QString>

// The settings variables of the main window that the monitoring cycle reads.
struct MonitorSettings {
    double iTimerN = 30;     // seconds between passes; a fraction is kept in memory
    qint32 iTimeOut = 10000; // socket time-out, ms
    qint32 iReplyLim = 3;    // consecutive socket faults that raise an alert
    qint32 iPingLim = 3;     // consecutive lost echoes that raise an alert
    qint32 bPlaySnd = 1;     // non-zero plays the alert sound; 2 shows the sound box greyed
    QString Skin;
    qint32 History = 1;     // non-zero keeps every result in the history file
    qint32 HistRawDays = 7; // days the raw results are kept
    qint32 HistDays = 400;  // days the 5-minute aggregates are kept
    // 1 keeps every result raw; N > 1 keeps a server's result raw only when
    // its kind differs from the server's previous one of its sort (socket or
    // echo) or it is every Nth of them; the aggregates count every result.
    qint32 HistRawEvery = 1;
    static constexpr qint32 MaxHistRawEvery = 1000;
    QString NetCheck{};     // reference addresses of the own network, blank-separated; empty: none
    qint32 RecoveryMsg = 0; // non-zero: a notice when a failing server is back
    QString Database{};     // the shared catalogue's postgresql:// address; empty: the file
    QString Agent{}; // this copy's name among the agents of a shared catalogue; empty: the host's
    QString Location{};   // where this agent probes from; empty: servers without locations
    QString TlsCaFile{};  // certificates trusted by TLS probes besides the system's; empty: none
    qint32 RemindMin = 0; // minutes between reminders of a server still down; 0: none
    qint32 FlapLimit = 0; // state changes within 20 passes that mark a server flapping; 0: off
};
