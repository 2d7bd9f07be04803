#pragma once

#include <QString>

// Finds a system-information program; empty when none is available.
class SysInfoLocator {
public:
    virtual ~SysInfoLocator() = default;
    virtual QString locate() const = 0;
};
