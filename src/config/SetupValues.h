#pragma once

#include "config/InterfaceLanguage.h"
#include "monitor/MonitorSettings.h"

#include <QString>

#include <optional>

// The settings dialog's fields, checked as a whole before anything is
// written: the interval a number of at least 1 second (a fraction is kept in
// memory, the file gets the nearest whole number, halves to even), the two
// alarm limits whole numbers from 0, the time-out a whole number of
// milliseconds from 1 to 3,600,000; the raw history kept 1 to 3650 days, the
// aggregated history at least as long and at most 36500 days; the reminder
// interval and the flapping limit whole numbers from 0 (the limit at most
// 20, the passes it looks back on); every
// reference address of the network check usable. Blanks around a number are
// allowed.
class SetupValues final {
public:
    struct Texts {
        QString timerN;
        QString replyLim;
        QString pingLim;
        QString timeOut;
        qint32 playSnd = 1; // 0 off, 1 on, 2 on and shown greyed
        QString skin;
        qint32 history = 1; // 0 records no history
        QString histRawDays = QStringLiteral("7");
        QString histDays = QStringLiteral("400");
        QString netCheck{};     // reference addresses, blank-separated
        qint32 recoveryMsg = 0; // 1: a notice when a failing server is back
        InterfaceLanguage::Choice language = InterfaceLanguage::Choice::Chinese;
        qint32 announce = 1;                     // 1: the announcement at start
        qint32 exitPage = 1;                     // 1: the update-check page at exit
        QString remindMin = QStringLiteral("0"); // minutes between reminders; 0: none
        QString flapLimit = QStringLiteral("0"); // state changes that mark flapping; 0: off
        QString database{};                      // the shared catalogue's address; empty: the file
        // What is wrong with that address (its parser lives with the
        // catalogue); empty when it is usable.
        QString databaseProblem{};
    };

    static constexpr qint32 MaxTimeOut = 3600000;
    static constexpr qint32 MaxHistRawDays = 3650;
    static constexpr qint32 MaxHistDays = 36500;
    static constexpr qint32 MaxFlapLimit = 20;

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
    qint32 history() const { return m_history; }
    qint32 histRawDays() const { return m_histRawDays; }
    qint32 histDays() const { return m_histDays; }
    qint32 recoveryMsg() const { return m_recoveryMsg; }
    qint32 remindMin() const { return m_remindMin; }
    qint32 flapLimit() const { return m_flapLimit; }

    // Writes ITIMERN, IREPLYLIM, IPINGLIM, PLAYSND, SKIN, ITIMEOUT, the three
    // history entries, NETCHECK, RECOVERYMSG, REMINDMIN, FLAPLIMIT, DATABASE, LANGUAGE,
    // ANNOUNCE and EXITPAGE
    // in one replacement of the settings file; false when nothing could be
    // written.
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
    qint32 m_history = 1;
    qint32 m_histRawDays = 7;
    qint32 m_histDays = 400;
    QString m_netCheck;
    InterfaceLanguage::Choice m_language = InterfaceLanguage::Choice::Chinese;
    qint32 m_recoveryMsg = 0;
    qint32 m_announce = 1;
    qint32 m_exitPage = 1;
    qint32 m_remindMin = 0;
    qint32 m_flapLimit = 0;
    QString m_database;
};
