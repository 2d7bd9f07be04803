#include "monitor/CertificateNotices.h"

#include "monitor/AlertSink.h"
#include "monitor/CertNoticeStore.h"
#include "monitor/ServerAlerts.h"
#include "monitor/ServerRowModel.h"
#include "platform/Clock.h"
#include "tls/CertificateFacts.h"

#include <QDateTime>

namespace {

using Col = ServerRowModel::Column;

} // namespace

CertificateNotices::CertificateNotices(ServerRowModel& rows, const Clock& clock,
                                       const ServerAlerts& serverAlerts, AlertSink& alerts)
    : m_rows(rows)
    , m_clock(clock)
    , m_serverAlerts(serverAlerts)
    , m_alerts(alerts) {}

// A handshake without a certificate has nothing to tell.
void CertificateNotices::handshakeRead(int row) {
    const CertificateFacts* facts = m_rows.certificateFacts(row);
    if (!facts || facts->leafNotAfter == 0)
        return;
    const qint64 daysLeft = facts->daysLeft(m_clock.utcMs());
    m_rows.setToolTip(row, Col::Status, expiryText(*facts, daysLeft));
    const qint32 warnDays = m_rows.certWarnDays(row);
    if (warnDays <= 0 || daysLeft > warnDays)
        return;
    const QString key = noticeKey(*facts, warnDays);
    if (m_rows.certNotified(row) == key || m_serverAlerts.isSilenced(row))
        return;
    const QString server = m_rows.text(row, Col::ID);
    m_rows.setCertNotified(row, key);
    if (m_store)
        m_store->recordCertNotified(server.toLongLong(), key);
    const QString message = tr("服务器:%1\r\nIP:%2\r\n证书:%3\r\n")
                                .arg(m_rows.text(row, Col::DisplayName),
                                     m_rows.text(row, Col::IPAddress), facts->subject) +
                            expiryText(*facts, daysLeft);
    const QString title = tr("注意:证书即将过期");
    m_alerts.ShowServerMsg(server, 4, message, title);
    m_serverAlerts.feed(row, AlertEvent::Kind::Alert, title, message);
}

QString CertificateNotices::noticeKey(const CertificateFacts& facts, qint32 warnDays) {
    return facts.fingerprintHex() + QLatin1Char('/') + QString::number(warnDays);
}

QString CertificateNotices::expiryText(const CertificateFacts& facts, qint64 daysLeft) {
    const QString date = dateText(facts.chainNotAfter);
    return daysLeft < 0 ? tr("证书已过期 %1 天,到期 %2").arg(-daysLeft).arg(date)
                        : tr("证书剩余 %1 天,到期 %2").arg(daysLeft).arg(date);
}

QString CertificateNotices::dateText(qint64 secondsSinceEpoch) {
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
