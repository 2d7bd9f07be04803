#include "http/HttpUrl.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace {

std::optional<HttpUrl> refuse(QString* reason, const QString& text) {
    if (reason)
        *reason = text;
    return std::nullopt;
}

// The port after the host's colon: one to five digits naming 1 to 65535.
std::optional<quint16> portOf(QStringView text) {
    if (text.isEmpty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() && c < u'\x80'; }))
        return std::nullopt;
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

// A host written with digits and dots only must be an IPv4 address of four
// parts; shortened forms such as "127.1" are refused, not guessed.
bool isDottedNumbers(const QString& host) {
    static const QRegularExpression numbers(QStringLiteral("^[0-9.]+$"));
    return numbers.match(host).hasMatch();
}

bool isIpv4(const QString& host) {
    static const QRegularExpression quad(
        QStringLiteral("^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])"
                       "(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}$"));
    return quad.match(host).hasMatch();
}

// A host name: labels of letters, digits, '-' and '_' between dots (a
// trailing dot allowed); a name in another script is checked in its ASCII
// form.
bool isHostName(const QString& host) {
    const QString ascii = QString::fromLatin1(QUrl::toAce(host));
    static const QRegularExpression name(
        QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_-]*[A-Za-z0-9_])?"
                       "(\\.[A-Za-z0-9_]([A-Za-z0-9_-]*[A-Za-z0-9_])?)*\\.?$"));
    return !ascii.isEmpty() && ascii.size() <= 253 && name.match(ascii).hasMatch();
}

} // namespace

std::optional<HttpUrl> HttpUrl::parse(const QString& text, QString* reason) {
    const QString url = text.trimmed();
    if (url.isEmpty())
        return refuse(reason, QCoreApplication::translate("HttpUrl", "URL不能为空！"));
    if (std::any_of(url.cbegin(), url.cend(),
                    [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; }))
        return refuse(reason,
                      QCoreApplication::translate("HttpUrl", "URL不能包含空格或控制字符！"));

    HttpUrl result;
    const qsizetype schemeEnd = url.indexOf(QLatin1String("://"));
    if (schemeEnd > 0)
        result.scheme = url.left(schemeEnd).toLower();
    if (result.scheme != QLatin1String("http") && result.scheme != QLatin1String("https"))
        return refuse(
            reason, QCoreApplication::translate("HttpUrl", "URL必须以 http:// 或 https:// 开头！"));

    const QStringView rest = QStringView(url).mid(schemeEnd + 3);
    qsizetype authorityEnd = 0;
    while (authorityEnd < rest.size() && !QStringView(u"/?#").contains(rest.at(authorityEnd)))
        ++authorityEnd;
    const QStringView authority = rest.left(authorityEnd);
    if (authority.contains(u'@'))
        return refuse(
            reason,
            QCoreApplication::translate(
                "HttpUrl", "URL不能包含用户名和密码(user:password@),请把凭据写在请求头中！"));

    QStringView portText; // empty: the scheme's port
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0)
            return refuse(
                reason, QCoreApplication::translate("HttpUrl", "URL中的IPv6地址缺少右方括号 ]！"));
        result.host = authority.mid(1, close - 1).toString().toLower();
        if (QHostAddress(result.host).protocol() != QAbstractSocket::IPv6Protocol ||
            result.host.contains(u'%'))
            return refuse(reason, QCoreApplication::translate("HttpUrl",
                                                              "URL中方括号内不是有效的IPv6地址！"));
        const QStringView after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(u':'))
            return refuse(
                reason, QCoreApplication::translate("HttpUrl", "URL中的IPv6地址后只能跟 :端口！"));
        portText = after.mid(1);
    } else {
        if (authority.count(u':') > 1)
            return refuse(reason,
                          QCoreApplication::translate(
                              "HttpUrl", "URL中的IPv6地址要写在方括号内,如 http://[::1]:8080/！"));
        const qsizetype colon = authority.indexOf(u':');
        result.host = authority.left(colon).toString().toLower();
        if (colon >= 0)
            portText = authority.mid(colon + 1);
        if (result.host.isEmpty())
            return refuse(reason, QCoreApplication::translate("HttpUrl", "URL缺少主机名！"));
        if (isDottedNumbers(result.host) ? !isIpv4(result.host) : !isHostName(result.host))
            return refuse(reason, QCoreApplication::translate(
                                      "HttpUrl", "URL中的主机不是有效的主机名或IP地址！"));
    }

    if (!portText.isEmpty()) {
        const std::optional<quint16> port = portOf(portText);
        if (!port)
            return refuse(reason, QCoreApplication::translate(
                                      "HttpUrl", "URL中的端口必须是 1 到 65535 之间的整数！"));
        result.port = *port;
    } else {
        result.port = result.scheme == QLatin1String("https") ? 443 : 80;
    }

    QStringView target = rest.mid(authorityEnd);
    if (const qsizetype fragment = target.indexOf(u'#'); fragment >= 0)
        target = target.left(fragment);
    result.pathAndQuery = target.toString();
    if (!result.pathAndQuery.startsWith(u'/'))
        result.pathAndQuery.prepend(u'/');
    return result;
}
