#pragma once

#include <QString>

#include <limits>
#include <optional>

// Lenient numeric reading of list texts: the leading number, otherwise 0.
double leadingNumber(const QString& text);
qint32 leadingInteger(const QString& text);

// A time in ms as the list shows it: "12ms", or "12 ms" when spaced. Rows
// show the same few small times, so the texts below a second are made once
// and shared. For the thread that runs the monitor only.
QString millisecondsText(qint64 ms, bool spaced);

// A count one higher, held at the largest qint32 rather than wrapping.
constexpr qint32 raised(qint32 count) {
    return count < std::numeric_limits<qint32>::max() ? count + 1 : count;
}

// A TCP port as an operator writes it: one to five digits naming 1 to 65535,
// nothing else.
std::optional<quint16> portNumber(const QString& text);
