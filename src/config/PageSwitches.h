#pragma once

// What the window program fetches or opens on its own: the announcement
// page at start (ANNOUNCE in SETUP) and the update-check page in the browser
// at exit (EXITPAGE). A portable copy does both unless they are switched
// off, as it always has; an installed copy does neither unless they are
// switched on.
namespace PageSwitches {

// The value of an absent switch: on in the portable mode, off when installed.
bool onByDefault();

bool announceAtStart();
bool updatePageAtExit();

} // namespace PageSwitches
