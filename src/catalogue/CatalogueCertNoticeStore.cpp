#include "catalogue/CatalogueCertNoticeStore.h"

#include "catalogue/ServerCatalogue.h"

void CatalogueCertNoticeStore::recordCertNotified(qint64 serverId, const QString& value) {
    ServerCatalogue::SetCertNotified(serverId, value);
}
