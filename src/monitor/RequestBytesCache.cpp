#include "monitor/RequestBytesCache.h"

#include "monitor/RequestPayload.h"

const QByteArray& RequestBytesCache::bytes(const QString& text) {
    auto found = m_bytes.find(text);
    if (found == m_bytes.end())
        found = m_bytes.insert(text, requestBytes(text, false));
    return *found;
}
