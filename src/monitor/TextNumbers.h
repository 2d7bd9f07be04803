#pragma once

#include <QString>

// Lenient numeric reading of list texts: the leading number, otherwise 0.
double leadingNumber(const QString& text);
qint32 leadingInteger(const QString& text);
