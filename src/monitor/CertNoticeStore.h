#pragma once

#include <QString>

// Where the monitor remembers the certificate notice it last gave for a
// server (the fingerprint and threshold warned about), so a restart does
// not repeat it. The monitor knows nothing of how it is kept; the write is
// the program's own, not an operator's change to the server.
class CertNoticeStore {
public:
    virtual ~CertNoticeStore() = default;
    virtual void recordCertNotified(qint64 serverId, const QString& value) = 0;
};
