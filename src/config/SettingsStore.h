#pragma once

#include "config/MainWindowLayout.h"
#include "monitor/MonitorSettings.h"

// Reads and writes the monitoring settings and the main window's layout in the
// settings file (ModuleINI). Values are 32-bit: a window taller than 2184
// pixels or a time-out above 32767 ms is kept as it is.
namespace SettingsStore {

// Fills the monitoring settings from the file (interval 30 s, limits 5 and 5,
// sound on, time-out 10000 ms when absent) and returns the stored layout
// (800 x 600 pixels and columns of 1000 twips when absent). Writes nothing;
// Skin is left as it is.
MainWindowLayout loadINI(MonitorSettings& settings);

// Stores the size only when the window is in its normal state, and the column
// widths always; fills settings.Skin from the file, writing "skinh.she" when
// the entry is absent or empty. All entries are written in one replacement of
// the file. Returns false when the file could not be written.
bool SaveINI(const MainWindowLayout& layout, bool normalState, MonitorSettings& settings);

// "LSTRESULT1" ... "LSTRESULT13".
QString columnKey(int column);

} // namespace SettingsStore
