#include "service/CatalogueChoice.h"

#include "catalogue/ModuleDB.h"
#include "config/ModuleINI.h"
#include "platform/AppPaths.h"

namespace CatalogueChoice {

void useConfigured() {
    ModuleINI::setIniBaseName(QString::fromLatin1(AppPaths::SettingsBaseName));
    ModuleDB::setDbPath(ModuleDB::DefaultDbPath());
    ModuleDB::setBusyTimeOutMs(ModuleDB::BackgroundBusyTimeOutMs);
    ModuleDB::setDatabaseUri(
        ModuleINI::IniPeekString(QStringLiteral("SETUP"), QStringLiteral("DATABASE")));
}

} // namespace CatalogueChoice
