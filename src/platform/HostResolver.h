#pragma once

#include <QString>

#include <functional>
#include <optional>

class QObject;

// Looks up host names without blocking the caller.
class HostResolver {
public:
    // The first IPv4 address of the name in host byte order, or no value.
    using Done = std::function<void(std::optional<quint32>)>;

    virtual ~HostResolver() = default;
    // Calls done once with the outcome, from the event loop, unless context
    // is destroyed first.
    virtual void resolve(const QString& name, QObject* context, Done done) = 0;
};
