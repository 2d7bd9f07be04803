#include "FuzzTarget.h"

#include "monitor/ClockStamp.h"

#include <QString>

// Arbitrary text as two stamps: TimeDiff stays within one day, and a stamp
// of any valid time measures 0 against itself.
SERVERMON_FUZZ_TARGET(clock_stamp) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype split = text.indexOf(QLatin1Char('|'));
    const QString start = split < 0 ? text : text.left(split);
    const QString end = split < 0 ? text : text.mid(split + 1);
    const qint64 elapsed = TimeDiff(start, end);
    fuzzCheck(elapsed >= 0 && elapsed < 86400000, "TimeDiff within one day");
    if (size >= 4) {
        const int ms = (data[0] << 24 | data[1] << 16 | data[2] << 8 | data[3]) & 0x7fffffff;
        const QString stamp = ClockStamp(QTime::fromMSecsSinceStartOfDay(ms % 86400000));
        fuzzCheck(TimeDiff(stamp, stamp) == 0, "a stamp against itself is 0");
    }
}
