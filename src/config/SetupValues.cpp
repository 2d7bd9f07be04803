#include "config/SetupValues.h"

#include "config/IniFile.h"
#include "config/ModuleINI.h"
#include "config/PageSwitches.h"
#include "monitor/NetworkCheck.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <limits>

namespace {

constexpr double MaxInt32 = std::numeric_limits<qint32>::max();

std::optional<qint32> wholeNumber(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^[ \\t]*\\+?([0-9]+)[ \\t]*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qlonglong number = match.captured(1).toLongLong(&ok);
    if (!ok || number > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(number);
}

} // namespace

std::optional<double> SetupValues::parseInterval(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^[ \\t]*\\+?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)[ \\t]*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double seconds = match.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 1 || std::nearbyint(seconds) > MaxInt32)
        return std::nullopt;
    return seconds;
}

std::optional<qint32> SetupValues::parseLimit(const QString& text) {
    return wholeNumber(text);
}

std::optional<qint32> SetupValues::parseTimeOut(const QString& text) {
    const std::optional<qint32> ms = wholeNumber(text);
    if (!ms || *ms < 1 || *ms > MaxTimeOut)
        return std::nullopt;
    return ms;
}

std::optional<SetupValues> SetupValues::parse(const Texts& texts, QString& error) {
    SetupValues values;
    QStringList problems;
    if (const auto timerN = parseInterval(texts.timerN))
        values.m_timerN = *timerN;
    else
        problems << QCoreApplication::translate("SetupValues",
                                                "循环任务间隔必须是不小于 1 的数字（秒）。");
    if (const auto replyLim = parseLimit(texts.replyLim))
        values.m_replyLim = *replyLim;
    else
        problems << QCoreApplication::translate("SetupValues",
                                                "POST报警阀值必须是不小于 0 的整数。");
    if (const auto pingLim = parseLimit(texts.pingLim))
        values.m_pingLim = *pingLim;
    else
        problems << QCoreApplication::translate("SetupValues",
                                                "PING报警阀值必须是不小于 0 的整数。");
    if (const auto timeOut = parseTimeOut(texts.timeOut))
        values.m_timeOut = *timeOut;
    else
        problems << QCoreApplication::translate(
            "SetupValues", "SOCKET超时必须是 1 到 3600000 之间的整数（毫秒）。");
    const std::optional<qint32> rawDays = wholeNumber(texts.histRawDays);
    if (rawDays && *rawDays >= 1 && *rawDays <= MaxHistRawDays)
        values.m_histRawDays = *rawDays;
    else
        problems << QCoreApplication::translate("SetupValues",
                                                "原始数据保留天数必须是 1 到 3650 之间的整数。");
    const std::optional<qint32> days = wholeNumber(texts.histDays);
    if (days && *days >= 1 && *days <= MaxHistDays && (!rawDays || *days >= *rawDays))
        values.m_histDays = *days;
    else
        problems << QCoreApplication::translate(
            "SetupValues",
            "历史数据保留天数必须是 1 到 36500 之间的整数，且不少于原始数据保留天数。");
    if (const auto remindMin = parseLimit(texts.remindMin))
        values.m_remindMin = *remindMin;
    else
        problems << QCoreApplication::translate("SetupValues",
                                                "持续故障提醒间隔必须是不小于 0 的整数（分钟）。");
    if (const auto flapLimit = parseLimit(texts.flapLimit); flapLimit && *flapLimit <= MaxFlapLimit)
        values.m_flapLimit = *flapLimit;
    else
        problems << QCoreApplication::translate("SetupValues",
                                                "频繁变化阈值必须是 0 到 20 之间的整数。");
    if (!IniFile::isValidValue(texts.skin))
        problems << QCoreApplication::translate("SetupValues",
                                                "系统默认皮肤的名称不能包含换行符。");
    QStringList unusable;
    for (const NetworkCheck::Entry& entry : NetworkCheck::parseEntries(texts.netCheck)) {
        if (entry.kind == NetworkCheck::Entry::Kind::Unusable)
            unusable << entry.text;
    }
    if (!unusable.isEmpty())
        problems << QCoreApplication::translate("SetupValues", "网络检测地址无法识别:") +
                        unusable.join(QLatin1Char(' '));
    values.m_netCheck = texts.netCheck.simplified();
    values.m_database = texts.database.trimmed();
    if (!values.m_database.isEmpty() && !texts.databaseProblem.isEmpty())
        problems << QCoreApplication::translate("SetupValues", "数据库连接:") +
                        texts.databaseProblem;
    else if (!IniFile::isValidValue(values.m_database))
        problems << QCoreApplication::translate("SetupValues", "数据库连接不能包含换行符。");
    values.m_playSnd = texts.playSnd;
    values.m_history = texts.history != 0 ? 1 : 0;
    values.m_recoveryMsg = texts.recoveryMsg != 0 ? 1 : 0;
    values.m_skin = texts.skin;
    values.m_language = texts.language;
    values.m_announce = texts.announce != 0 ? 1 : 0;
    values.m_exitPage = texts.exitPage != 0 ? 1 : 0;
    if (!problems.isEmpty()) {
        error = problems.join(QLatin1Char('\n'));
        return std::nullopt;
    }
    error.clear();
    return values;
}

qint32 SetupValues::timerNForFile() const {
    return static_cast<qint32>(std::nearbyint(m_timerN));
}

bool SetupValues::write() const {
    const QString setting = QStringLiteral("SETTING");
    const QString setup = QStringLiteral("SETUP");
    IniFile file = ModuleINI::SettingsFile();
    QList<IniFile::Entry> entries = {
        {setting, QStringLiteral("ITIMERN"), ModuleINI::numberText(timerNForFile())},
        {setting, QStringLiteral("IREPLYLIM"), ModuleINI::numberText(m_replyLim)},
        {setting, QStringLiteral("IPINGLIM"), ModuleINI::numberText(m_pingLim)},
        {setup, QStringLiteral("PLAYSND"), QString::number(m_playSnd)},
        {setup, QStringLiteral("SKIN"), m_skin},
        {setup, QStringLiteral("ITIMEOUT"), QString::number(m_timeOut)},
    };
    // History, recovery-notice and page entries reach the file once they
    // differ from their defaults, so a file nobody configured stays as it
    // always was.
    const MonitorSettings defaults;
    const auto addUnlessDefault = [&](const char* key, qint32 value, qint32 fallback) {
        const QString name = QLatin1String(key);
        if (value != fallback || file.value(setup, name))
            entries.append({setup, name, QString::number(value)});
    };
    addUnlessDefault("HISTORY", m_history, defaults.History);
    addUnlessDefault("HISTRAWDAYS", m_histRawDays, defaults.HistRawDays);
    addUnlessDefault("HISTDAYS", m_histDays, defaults.HistDays);
    if (!m_netCheck.isEmpty() || file.value(setup, QStringLiteral("NETCHECK")))
        entries.append({setup, QStringLiteral("NETCHECK"), m_netCheck});
    addUnlessDefault("RECOVERYMSG", m_recoveryMsg, defaults.RecoveryMsg);
    addUnlessDefault("REMINDMIN", m_remindMin, defaults.RemindMin);
    addUnlessDefault("FLAPLIMIT", m_flapLimit, defaults.FlapLimit);
    if (!m_database.isEmpty() || file.value(setup, QStringLiteral("DATABASE")))
        entries.append({setup, QStringLiteral("DATABASE"), m_database});
    if (m_language != InterfaceLanguage::Choice::Chinese ||
        file.value(setup, QStringLiteral("LANGUAGE")))
        entries.append(
            {setup, QStringLiteral("LANGUAGE"), InterfaceLanguage::settingText(m_language)});
    const qint32 pagesDefault = PageSwitches::onByDefault() ? 1 : 0;
    addUnlessDefault("ANNOUNCE", m_announce, pagesDefault);
    addUnlessDefault("EXITPAGE", m_exitPage, pagesDefault);
    return file.setValues(entries);
}

void SetupValues::applyTo(MonitorSettings& settings) const {
    settings.iTimerN = m_timerN;
    settings.iReplyLim = m_replyLim;
    settings.iPingLim = m_pingLim;
    settings.bPlaySnd = m_playSnd;
    settings.iTimeOut = m_timeOut;
    settings.History = m_history;
    settings.HistRawDays = m_histRawDays;
    settings.HistDays = m_histDays;
    settings.NetCheck = m_netCheck;
    settings.RecoveryMsg = m_recoveryMsg;
    settings.RemindMin = m_remindMin;
    settings.FlapLimit = m_flapLimit;
    settings.Database = m_database;
}
