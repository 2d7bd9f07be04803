#pragma once

#include "monitor/CertNoticeStore.h"

// Keeps certificate notices in the catalogue's CertNotified column. A write
// that fails is given up: the notice is then given again after a restart.
class CatalogueCertNoticeStore final : public CertNoticeStore {
public:
    CatalogueCertNoticeStore() = default;
    Q_DISABLE_COPY_MOVE(CatalogueCertNoticeStore)

    void recordCertNotified(qint64 serverId, const QString& value) override;
};
