#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

// Where the metrics are served: "ADDRESS:PORT", "[IPv6]:PORT" or a port
// alone, which serves on 127.0.0.1. The address is a literal one; the port
// runs from 1 to 65535.
struct MetricsEndpoint {
    QHostAddress address;
    quint16 port = 0;

    static std::optional<MetricsEndpoint> parse(const QString& text);
    // The METRICS entry of the settings file's SETUP section; empty when
    // absent, which serves nothing. Never writes.
    static QString configured();
    QString text() const;
};
