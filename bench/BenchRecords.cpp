#include "BenchRecords.h"

const QString BenchRecords::RequestText =
    QStringLiteral("ASC:71:69:84:32:47:32:72:84:84:80:47:49:46:48:13:10:13:10");
const QString BenchRecords::Expected = QStringLiteral("200 OK");

QList<ServerRecord> BenchRecords::of(const std::vector<LoopbackServer::Endpoint>& rows) {
    QList<ServerRecord> records;
    records.reserve(static_cast<qsizetype>(rows.size()));
    qint64 id = 1;
    for (const auto& row : rows) {
        ServerRecord record;
        record.id = id++;
        record.displayName = QStringLiteral("bench%1").arg(record.id);
        record.ipAddress = QString::fromStdString(row.address);
        record.port = QString::number(row.port);
        record.postData = RequestText;
        record.replyData = Expected;
        records.append(record);
    }
    return records;
}
