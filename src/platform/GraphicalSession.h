#pragma once

#include <QProcessEnvironment>
#include <QString>

// Whether the window program has a desktop to show itself on, checked
// before Qt would abort loading its platform plug-in.
namespace GraphicalSession {

// A platform named in QT_QPA_PLATFORM (offscreen, xcb, ...), or an X or
// Wayland display.
bool available(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// The one line printed when there is none.
QString missingMessage();

} // namespace GraphicalSession
