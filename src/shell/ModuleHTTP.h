#pragma once

#include <QString>
#include <QUrl>

class UrlOpener;

// The maker's web pages and the one way the program opens a page.
namespace ModuleHTTP {

// Every page of the program lives on this host.
inline constexpr char MakerHost[] = "www.example.com";

QUrl HelpUrl();
QUrl UpdateCheckUrl();
QUrl AnnouncementUrl();

// Hands an http or https address to the browser; anything else is ignored.
// Nothing is reported: a missing browser or network shows nothing.
void OpenUrl(const QString& address);

// Replaces the desktop's browser (tests); nullptr restores it.
void setUrlOpener(UrlOpener* opener);

} // namespace ModuleHTTP
