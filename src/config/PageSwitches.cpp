#include "config/PageSwitches.h"

#include "config/ModuleINI.h"
#include "platform/AppPaths.h"

namespace PageSwitches {
namespace {

bool switchedOn(const char* key) {
    return ModuleINI::IniReadInt(QStringLiteral("SETUP"), QLatin1String(key),
                                 onByDefault() ? 1 : 0) != 0;
}

} // namespace

bool onByDefault() {
    return AppPaths::current().mode() == AppPaths::Mode::Portable;
}

bool announceAtStart() {
    return switchedOn("ANNOUNCE");
}

bool updatePageAtExit() {
    return switchedOn("EXITPAGE");
}

} // namespace PageSwitches
