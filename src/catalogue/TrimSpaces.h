#pragma once

#include <QString>

// The text without leading and trailing space characters; tabs and line
// breaks stay.
QString TrimSpaces(const QString& text);
