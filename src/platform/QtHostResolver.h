#pragma once

#include "platform/HostResolver.h"

// The system resolver through QHostInfo.
class QtHostResolver final : public HostResolver {
public:
    void resolve(const QString& name, QObject* context, Done done) override;
};
