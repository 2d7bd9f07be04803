#include "monitor/CertificateFactsText.h"

#include "monitor/TcpProbe.h"
#include "tls/CertificateFacts.h"
#include "tls/TlsFault.h"

#include <QDateTime>

QStringList CertificateFactsText::lines(const CertificateFacts& facts, qint64 handshakeUs,
                                        qint64 nowUtcMs, bool ignoreErrors) {
    return {
        tr("证书主题:") + facts.subject,
        tr("颁发者:") + facts.issuer,
        tr("证书到期:") + date(facts.leafNotAfter),
        tr("证书链最早到期:") + date(facts.chainNotAfter),
        tr("剩余天数:") + daysLeft(facts.daysLeft(nowUtcMs)),
        tr("验证结果:") + verification(facts, ignoreErrors),
        tr("主机名匹配:") + (facts.nameMatches ? tr("是") : tr("否")),
        tr("TLS版本:") + facts.protocol,
        tr("加密套件:") + facts.cipher,
        tr("握手时间:") + QString::number(double(handshakeUs) / 1000.0, 'f', 1) +
            QStringLiteral(" ms"),
        tr("指纹(SHA-256):") + fingerprint(facts),
    };
}

QString CertificateFactsText::noHandshake() {
    return tr("尚无TLS握手结果");
}

QString CertificateFactsText::date(qint64 secondsUtc) {
    return QDateTime::fromSecsSinceEpoch(secondsUtc, Qt::UTC)
               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" UTC");
}

QString CertificateFactsText::daysLeft(qint64 days) {
    return days >= 0 ? tr("%1天").arg(days) : tr("已过期%1天").arg(-days);
}

// A refused certificate reads as the Status of a probe that does not ignore
// errors, followed by OpenSSL's own words.
QString CertificateFactsText::verification(const CertificateFacts& facts, bool ignoreErrors) {
    const TlsFault::Kind kind = facts.faultKind();
    if (kind == TlsFault::Kind::None)
        return tr("已验证");
    QString text = TcpProbe::faultStatus({kind, facts.verifyText()}, {}) + QStringLiteral(" (") +
                   facts.verifyText() + QLatin1Char(')');
    if (ignoreErrors)
        text += tr(",已忽略");
    return text;
}

QString CertificateFactsText::fingerprint(const CertificateFacts& facts) {
    const QString hex = facts.fingerprintHex().toUpper();
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2)
        pairs.append(hex.mid(i, 2));
    return pairs.join(QLatin1Char(':'));
}
