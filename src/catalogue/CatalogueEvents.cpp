#include "catalogue/CatalogueEvents.h"

void CatalogueEvents::announceServers(const QList<qint64>& ids) {
    ++m_reloads;
    emit serversChanged(ids);
}
