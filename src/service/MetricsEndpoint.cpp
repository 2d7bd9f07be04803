#include "service/MetricsEndpoint.h"

#include "config/ModuleINI.h"

std::optional<MetricsEndpoint> MetricsEndpoint::parse(const QString& text) {
    const QString trimmed = text.trimmed();
    const qsizetype colon = trimmed.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QStringLiteral("127.0.0.1") : trimmed.left(colon);
    const QString portText = colon < 0 ? trimmed : trimmed.mid(colon + 1);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return std::nullopt; // an IPv6 address needs its brackets
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    MetricsEndpoint endpoint;
    if (!ok || port < 1 || port > 65535 || !endpoint.address.setAddress(host))
        return std::nullopt;
    endpoint.port = static_cast<quint16>(port);
    return endpoint;
}

QString MetricsEndpoint::configured() {
    return ModuleINI::IniPeekString(QStringLiteral("SETUP"), QStringLiteral("METRICS"));
}

QString MetricsEndpoint::text() const {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}
