#pragma once

#include "monitor/MonitorSettings.h"

#include <QString>

#include <optional>

// The settings dialog's fields, checked as a whole before anything is
// written: the interval a number of at least 1 second (a fraction is kept in
// memory, the file gets the nearest whole number, halves to even), the two
// alarm limits whole numbers from 0, the time-out a whole number of
// milliseconds from 1 to 3,600,000. Blanks around a number are allowed.
class SetupValues final {
public:
    struct Texts {
        QString timerN;
        QString replyLim;
        QString pingLim;
        QString timeOut;
        qint32 playSnd = 1; // 0 off, 1 on, 2 on and shown greyed
        QString skin;
    };

    static constexpr qint32 MaxTimeOut = 3600000;

    // The values, or nothing with error naming every bad field, one a line.
    static std::optional<SetupValues> parse(const Texts& texts, QString& error);

    static std::optional<double> parseInterval(const QString& text);
    static std::optional<qint32> parseLimit(const QString& text);
    static std::optional<qint32> parseTimeOut(const QString& text);

    double timerN() const { return m_timerN; }
    qint32 timerNForFile() const;
    qint32 replyLim() const { return m_replyLim; }
    qint32 pingLim() const { return m_pingLim; }
    qint32 timeOut() const { return m_timeOut; }
    qint32 playSnd() const { return m_playSnd; }
    const QString& skin() const { return m_skin; }

    // Writes ITIMERN, IREPLYLIM, IPINGLIM, PLAYSND, SKIN and ITIMEOUT in one
    // replacement of the settings file; false when nothing could be written.
    bool write() const;
    // The running settings take the values; Skin is not touched.
    void applyTo(MonitorSettings& settings) const;

private:
    SetupValues() = default;

    double m_timerN = 0;
    qint32 m_replyLim = 0;
    qint32 m_pingLim = 0;
    qint32 m_timeOut = 0;
    qint32 m_playSnd = 1;
    QString m_skin;
};
