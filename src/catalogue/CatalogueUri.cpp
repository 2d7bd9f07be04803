#include "catalogue/CatalogueUri.h"

#include <QCoreApplication>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {

// The libpq parameters a catalogue connection may set: TLS, time-out and
// how the session names itself. Anything else (another host, a password
// file, server options) is not the URI's business.
const QStringList& allowedKeys() {
    static const QStringList keys{
        QStringLiteral("sslmode"),          QStringLiteral("sslrootcert"),
        QStringLiteral("sslcert"),          QStringLiteral("sslkey"),
        QStringLiteral("sslcrl"),           QStringLiteral("sslcompression"),
        QStringLiteral("gssencmode"),       QStringLiteral("connect_timeout"),
        QStringLiteral("application_name"), QStringLiteral("target_session_attrs")};
    return keys;
}

// The driver joins the options with blanks into libpq's "key=value ..."
// text, which has no room for these unquoted.
bool breaksConnectOptions(QChar c) {
    return c.isSpace() || c.category() == QChar::Other_Control || c == u';' || c == u'=' ||
           c == u'\'' || c == u'\\';
}

// The port after the host: one to five digits naming 1 to 65535.
bool isPort(QStringView text) {
    if (text.isEmpty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    const int port = text.toInt();
    return port >= 1 && port <= 65535;
}

// The port as written in the authority (USER@HOST:PORT), empty when none.
QStringView portTextOf(QStringView hostAndPort) {
    if (hostAndPort.startsWith(u'[')) {
        const qsizetype close = hostAndPort.indexOf(u']');
        if (close >= 0 && hostAndPort.mid(close + 1).startsWith(u':'))
            return hostAndPort.mid(close + 2);
        return {};
    }
    if (hostAndPort.count(u':') != 1)
        return {};
    return hostAndPort.mid(hostAndPort.indexOf(u':') + 1);
}

} // namespace

CatalogueUri CatalogueUri::parse(const QString& text) {
    CatalogueUri uri;
    const QString problem = uri.read(text.trimmed());
    if (problem.isEmpty()) {
        uri.m_valid = true;
        return uri;
    }
    CatalogueUri refused;
    refused.m_error = problem;
    return refused;
}

QString CatalogueUri::read(const QString& text) {
    if (text.isEmpty())
        return QCoreApplication::translate("CatalogueUri", "数据库连接地址不能为空！");

    const qsizetype schemeEnd = text.indexOf(QLatin1String("://"));
    const QString scheme = text.left(std::max<qsizetype>(schemeEnd, 0)).toLower();
    if (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))
        return QCoreApplication::translate(
            "CatalogueUri", "数据库连接地址必须以 postgresql:// 或 postgres:// 开头！");

    // The password and the port are judged on the text as written: QUrl
    // would take an unescaped '@' in a password for part of the host, and
    // reports a bad port only as a broken URL.
    const QStringView rest = QStringView(text).mid(schemeEnd + 3);
    qsizetype authorityEnd = 0;
    while (authorityEnd < rest.size() && !QStringView(u"/?#").contains(rest.at(authorityEnd)))
        ++authorityEnd;
    const QStringView authority = rest.left(authorityEnd);
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0) {
        const QStringView userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(u':');
        if (colon >= 0 && colon + 1 < userInfo.size())
            return QCoreApplication::translate(
                "CatalogueUri",
                "数据库连接地址不能包含密码,请使用 ~/.pgpass 或环境变量 PGPASSWORD！");
    }
    const QStringView portText = portTextOf(authority.mid(at + 1));
    if (!portText.isEmpty() && !isPort(portText))
        return QCoreApplication::translate("CatalogueUri",
                                           "数据库连接地址中的端口必须是 1 到 65535 之间的整数！");

    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() && url.host().isEmpty() && !authority.isEmpty())
        return QCoreApplication::translate("CatalogueUri",
                                           "数据库连接地址中的主机不是有效的主机名或IP地址！");
    if (!url.isValid() || url.hasFragment())
        return QCoreApplication::translate(
            "CatalogueUri",
            "数据库连接地址格式不正确,应为 postgresql://用户名@主机:端口/数据库名！");
    if (url.host().isEmpty())
        return QCoreApplication::translate("CatalogueUri", "数据库连接地址缺少主机名！");

    const QString path = url.path(QUrl::FullyDecoded);
    const QString databaseName = path.mid(1);
    if (databaseName.isEmpty())
        return QCoreApplication::translate("CatalogueUri", "数据库连接地址缺少数据库名！");
    if (databaseName.contains(u'/'))
        return QCoreApplication::translate("CatalogueUri",
                                           "数据库连接地址中的数据库名不能包含“/”！");

    QStringList options;
    QStringList keys;
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    for (const auto& [key, value] : items) {
        if (key.isEmpty() && value.isEmpty())
            continue; // "&&" or a trailing '&'
        if (key == QLatin1String("password"))
            return QCoreApplication::translate(
                "CatalogueUri",
                "数据库连接地址不能包含密码,请使用 ~/.pgpass 或环境变量 PGPASSWORD！");
        if (!allowedKeys().contains(key))
            return QCoreApplication::translate("CatalogueUri",
                                               "数据库连接地址中的参数“%1”不受支持,可用的参数有:%2")
                .arg(key, allowedKeys().join(QLatin1String(", ")));
        if (keys.contains(key))
            return QCoreApplication::translate("CatalogueUri", "数据库连接地址中的参数“%1”重复！")
                .arg(key);
        if (value.isEmpty())
            return QCoreApplication::translate("CatalogueUri", "数据库连接地址中的参数“%1”缺少值！")
                .arg(key);
        if (std::any_of(value.cbegin(), value.cend(), breaksConnectOptions))
            return QCoreApplication::translate(
                       "CatalogueUri",
                       "数据库连接地址中参数“%1”的值不能包含空格、分号、等号、引号或反斜杠！")
                .arg(key);
        keys << key;
        options << key + u'=' + value;
    }
    if (!keys.contains(QLatin1String("connect_timeout")))
        options << QStringLiteral("connect_timeout=%1").arg(DefaultConnectTimeoutSeconds);

    m_host = url.host();
    m_port = url.port(DefaultPort);
    m_userName = url.userName(QUrl::FullyDecoded);
    m_databaseName = databaseName;
    m_connectOptions = options.join(u';');
    return {};
}

QString CatalogueUri::displayText() const {
    if (!m_valid)
        return {};
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(m_userName, QUrl::DecodedMode);
    url.setHost(m_host);
    url.setPort(m_port);
    url.setPath(u'/' + m_databaseName, QUrl::DecodedMode);
    return url.toString();
}
