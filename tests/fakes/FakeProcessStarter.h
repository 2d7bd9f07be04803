#pragma once

#include "platform/ProcessStarter.h"

#include <QList>
#include <QSet>

// Pretends the programs in `installed` are on PATH and records starts.
class FakeProcessStarter final : public ProcessStarter {
public:
    struct Start {
        QString program;
        QStringList arguments;
    };
    QString findExecutable(const QString& name) const override {
        return installed.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
    }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        starts.append({program, arguments});
        return true;
    }
    QSet<QString> installed;
    QList<Start> starts;
};
