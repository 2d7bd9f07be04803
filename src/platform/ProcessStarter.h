#pragma once

#include <QString>
#include <QStringList>

// Starts programs detached, never through a shell.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    // Full path of a program found on PATH, empty when there is none.
    virtual QString findExecutable(const QString& name) const = 0;
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};
