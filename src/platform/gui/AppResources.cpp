#include "platform/gui/AppResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

void registerAppResources() {
    static const bool registered = [] {
        initResources();
        return true;
    }();
    Q_UNUSED(registered)
}
