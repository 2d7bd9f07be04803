#pragma once

// What the program sets on the application once, before any window exists.
namespace AppSetup {

// Its name, version and desktop entry; its icon, which every window, dialog,
// the About box and the task bar show; and that only the exit command ends
// it, since the main window hides in the tray and the announcement window
// closes itself.
void configure();

} // namespace AppSetup
