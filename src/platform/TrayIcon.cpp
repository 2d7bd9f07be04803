// Gives the tray interface its meta-object: its signal carries the mouse messages.
#include "platform/TrayIcon.h"
