#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// The bytes each request text of the list stands for, as a pass sends them
// (requestBytes without the "HEX:" form), converted once rather than on
// every probe: many rows share one request, and every pass sends it again.
class RequestBytesCache final {
public:
    const QByteArray& bytes(const QString& text);
    // Forgets every text, as a reload of the list does.
    void clear() { m_bytes.clear(); }

private:
    QHash<QString, QByteArray> m_bytes;
};
