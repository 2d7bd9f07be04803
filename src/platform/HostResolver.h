#pragma once

#include <QHostAddress>
#include <QString>

#include <functional>

class QObject;

// Looks up host names without blocking the caller.
class HostResolver {
public:
    // The first address the system's resolver gives for the name, IPv4 or
    // IPv6; a null address when there is none.
    using Done = std::function<void(const QHostAddress&)>;

    virtual ~HostResolver() = default;
    // Calls done once with the outcome, from the event loop, unless context
    // is destroyed first; destroying context abandons the lookup.
    virtual void resolve(const QString& name, QObject* context, Done done) = 0;
};
