#pragma once

#include "platform/SysInfoLocator.h"

#include <QStringList>

// The first system-information program of a short list that is on PATH
// (or in the given folders).
class PathSysInfoLocator final : public SysInfoLocator {
public:
    explicit PathSysInfoLocator(QStringList searchPaths = {});
    QString locate() const override;

    // Program names in order of preference.
    static QStringList candidates();

private:
    QStringList m_searchPaths;
};
