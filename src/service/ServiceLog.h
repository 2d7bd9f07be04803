#pragma once

#include <QString>
#include <QStringList>

class Clock;
class QIODevice;

// The headless service's log: one line per event, the local time in ISO 8601
// with its offset from UTC, then the fields, all separated by tabs. A tab,
// line break or backslash inside a field is written as \t, \n, \r or \\;
// any other control character (C0, DEL, C1) as \xHH, and the line and
// paragraph separators and the bidirectional controls as \u{HHHH}. So every
// event stays one line whatever a server's name or reply holds, and nothing
// in it moves the cursor, retitles or recolours a terminal or reorders the
// text around it. Each line is flushed at once: the log is read as it is
// written (a terminal, a pipe, the journal).
class ServiceLog final {
    Q_DISABLE_COPY_MOVE(ServiceLog)
public:
    ServiceLog(QIODevice& out, const Clock& clock);

    void write(const QStringList& fields);

    static QString escaped(const QString& field);
    static QString timeText(qint64 utcMs);

private:
    QIODevice& m_out;
    const Clock& m_clock;
};
