#pragma once

#include "platform/UrlOpener.h"

// Opens pages in the desktop's default browser.
class DesktopUrlOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl& url) override;
};
