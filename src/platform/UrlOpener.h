#pragma once

#include <QUrl>

// Hands a web page to the desktop's browser.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool openUrl(const QUrl& url) = 0;
};
