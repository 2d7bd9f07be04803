#include "shell/ModuleHTTP.h"

#include "platform/gui/DesktopUrlOpener.h"

namespace ModuleHTTP {
namespace {

UrlOpener* g_opener = nullptr;

UrlOpener& opener() {
    static DesktopUrlOpener desktop;
    return g_opener ? *g_opener : desktop;
}

QUrl makerPage(const QString& path, const QString& query) {
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QString::fromLatin1(MakerHost));
    url.setPath(path);
    if (!query.isEmpty())
        url.setQuery(query);
    return url;
}

} // namespace

QUrl HelpUrl() {
    return makerPage(QStringLiteral("/"), QStringLiteral("MyProject=ZodevuViruz"));
}

QUrl UpdateCheckUrl() {
    return makerPage(QStringLiteral("/"), QStringLiteral("AppName=TesselwickZodevuViruz"));
}

QUrl AnnouncementUrl() {
    return makerPage(QStringLiteral("/ads/ads.asp"), {});
}

void OpenUrl(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    opener().openUrl(url);
}

void setUrlOpener(UrlOpener* opener) {
    g_opener = opener;
}

} // namespace ModuleHTTP
