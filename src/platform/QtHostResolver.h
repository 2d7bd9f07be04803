#pragma once

#include "platform/HostResolver.h"

// The system resolver through QHostInfo; a lookup whose context goes before
// its answer is aborted.
class QtHostResolver final : public HostResolver {
public:
    void resolve(const QString& name, QObject* context, Done done) override;
};
