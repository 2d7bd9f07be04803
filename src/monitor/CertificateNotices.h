#pragma once

#include <QCoreApplication>
#include <QString>

class AlertSink;
class CertNoticeStore;
class Clock;
class ServerAlerts;
class ServerRowModel;
struct CertificateFacts;

// What a completed handshake tells the operator besides the probe's result:
// the days the certificate has left, in the row's Status tool-tip, and one
// alert once they fall to the server's threshold (CertWarnDays) or below,
// an expired certificate included. The alert is given once per certificate
// and threshold: the row keeps the last one given and the store keeps it for
// the next start, so only a renewed certificate or another threshold is
// warned about again. A silenced server hears nothing and nothing is
// remembered for it, so its alert comes once the silence has ended.
class CertificateNotices final {
    Q_DECLARE_TR_FUNCTIONS(CertificateNotices)
    Q_DISABLE_COPY_MOVE(CertificateNotices)
public:
    CertificateNotices(ServerRowModel& rows, const Clock& clock, const ServerAlerts& serverAlerts,
                       AlertSink& alerts);

    // Where the notices given are remembered; nullptr: on the rows alone.
    void setStore(CertNoticeStore* store) { m_store = store; }
    // The row's probe has just kept the facts of a completed handshake.
    void handshakeRead(int row);

    // What CertNotified holds after a notice about the certificate at that
    // threshold: the leaf's SHA-256 in hex, '/', the days.
    static QString noticeKey(const CertificateFacts& facts, qint32 warnDays);
    // The days left and the date they end, as the Status tool-tip shows them.
    static QString expiryText(const CertificateFacts& facts, qint64 daysLeft);
    // A certificate time (seconds since 1970 UTC) in local time.
    static QString dateText(qint64 secondsSinceEpoch);

private:
    ServerRowModel& m_rows;
    const Clock& m_clock;
    const ServerAlerts& m_serverAlerts;
    AlertSink& m_alerts;
    CertNoticeStore* m_store = nullptr;
};
