#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// A time of day in the locale's long time format, with nothing but the time:
// the time-zone field (a bare time of day has none) goes together with the
// brackets around it, and a day-period field Qt cannot format ("B") becomes
// the locale's AM/PM text.
QString LocaleTimeText(const QTime& time, const QLocale& locale);
