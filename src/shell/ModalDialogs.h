#pragma once

class QDialog;

// How the main window's dialogs open and how the exit closes them.
namespace ModalDialogs {

// Runs the dialog modal to its window only, so the tray icon, a window of
// its own, keeps taking clicks while the dialog is open.
int exec(QDialog& dialog);
// Closes every open modal dialog as its close box would, without saving,
// the top one first; a dialog that refuses stays, and so do those below it.
void closeAll();

} // namespace ModalDialogs
