#pragma once

#include "platform/SkinEngine.h"

#include <QFileInfo>
#include <QStringList>

// Records attaches; a file counts as a skin when it exists.
class FakeSkinEngine final : public SkinEngine {
public:
    void attachDefault() override { attached.append(QStringLiteral("<default>")); }
    bool attachFile(const QString& path) override {
        attached.append(path);
        return QFileInfo(path).isFile();
    }
    QStringList attached;
};
