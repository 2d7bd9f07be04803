#pragma once

#include "platform/UrlOpener.h"

#include <QList>

class RecordingUrlOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl& url) override {
        opened.append(url);
        return true;
    }
    QList<QUrl> opened;
};
