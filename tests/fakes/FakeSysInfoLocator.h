#pragma once

#include "platform/SysInfoLocator.h"

class FakeSysInfoLocator final : public SysInfoLocator {
public:
    QString locate() const override { return program; }
    QString program;
};
