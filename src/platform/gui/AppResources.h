#pragma once

// The pictures built into the program (icons, the skins' check-box ticks).
// They live in a static library, so they are registered on first use rather
// than by a static initialiser the linker might drop. Safe to call often.
void registerAppResources();
