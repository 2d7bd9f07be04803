#pragma once

#include "platform/ProcessStarter.h"

// Looks programs up on PATH and starts them detached, without a shell.
class SystemProcessStarter final : public ProcessStarter {
public:
    QString findExecutable(const QString& name) const override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
};
