#include "platform/gui/TrayIcon.h"

// The interface has no code of its own; this file gives its meta-object a home.
