#include "tls/TlsNameCheck.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>

#include <algorithm>

QString tlsNameProblem(const QString& name) {
    if (std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.isSpace(); }))
        return QCoreApplication::translate("TlsNameCheck", "TLS主机名不能包含空格！");
    if (name.contains(QLatin1String("://")))
        return QCoreApplication::translate("TlsNameCheck",
                                           "TLS主机名不能包含协议(如 https://),只填主机名！");
    static const QRegularExpression port(QStringLiteral(":[0-9]"));
    if (name.contains(port) && QHostAddress(name).protocol() != QAbstractSocket::IPv6Protocol)
        return QCoreApplication::translate("TlsNameCheck", "TLS主机名不能包含端口,只填主机名！");
    return {};
}
