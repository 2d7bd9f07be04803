#pragma once

#include "LoopbackServer.h"

#include "monitor/ServerRecord.h"

#include <QList>
#include <QString>
#include <vector>

// The catalogue rows of the TCP benchmarks: one per endpoint given, each
// sending an HTTP/1.0 request line (written as its character codes) and
// expecting the loopback server's "200 OK".
namespace BenchRecords {
extern const QString RequestText;
extern const QString Expected;
QList<ServerRecord> of(const std::vector<LoopbackServer::Endpoint>& rows);
} // namespace BenchRecords
