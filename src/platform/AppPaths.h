#pragma once

#include <QString>

// The program folder with one trailing separator; every file beside the
// program is addressed through it. Tests point it at a temporary folder.
QString GetAppPath();
void setAppPathForTesting(const QString& folder);
