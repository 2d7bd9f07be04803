#include "config/SettingsStore.h"

#include "config/IniFile.h"
#include "config/ModuleINI.h"
#include "config/Twips.h"

namespace SettingsStore {
namespace {

const QString Setting = QStringLiteral("SETTING");
const QString Setup = QStringLiteral("SETUP");
const QString DefaultSkin = QStringLiteral("skinh.she");
constexpr qint32 DefaultColumnWidth = 1000;

} // namespace

QString columnKey(int column) {
    return QStringLiteral("LSTRESULT") + QString::number(column + 1);
}

MainWindowLayout loadINI(MonitorSettings& settings) {
    using ModuleINI::IniReadInt;
    MainWindowLayout layout;
    layout.height = IniReadInt(Setting, QStringLiteral("MAINHEIGHT"), Twips::fromPixelsY(600));
    layout.width = IniReadInt(Setting, QStringLiteral("MAINWIDTH"), Twips::fromPixelsX(800));
    settings.iTimerN = IniReadInt(Setting, QStringLiteral("ITIMERN"), 30);
    settings.iReplyLim = IniReadInt(Setting, QStringLiteral("IREPLYLIM"), 5);
    settings.iPingLim = IniReadInt(Setting, QStringLiteral("IPINGLIM"), 5);
    settings.bPlaySnd = IniReadInt(Setup, QStringLiteral("PLAYSND"), 1);
    settings.iTimeOut = IniReadInt(Setup, QStringLiteral("ITIMEOUT"), 10000);
    settings.History = IniReadInt(Setup, QStringLiteral("HISTORY"), 1);
    settings.HistRawDays = IniReadInt(Setup, QStringLiteral("HISTRAWDAYS"), 7);
    settings.HistDays = IniReadInt(Setup, QStringLiteral("HISTDAYS"), 400);
    settings.HistRawEvery = qBound(1, IniReadInt(Setup, QStringLiteral("HISTRAWEVERY"), 1),
                                   MonitorSettings::MaxHistRawEvery);
    settings.NetCheck = ModuleINI::IniPeekString(Setup, QStringLiteral("NETCHECK"));
    settings.RecoveryMsg = IniReadInt(Setup, QStringLiteral("RECOVERYMSG"), 0);
    settings.RemindMin = IniReadInt(Setup, QStringLiteral("REMINDMIN"), 0);
    settings.FlapLimit = IniReadInt(Setup, QStringLiteral("FLAPLIMIT"), 0);
    settings.Database = ModuleINI::IniPeekString(Setup, QStringLiteral("DATABASE"));
    settings.TlsCaFile = ModuleINI::IniPeekString(Setup, QStringLiteral("TLSCAFILE"));
    settings.Agent = ModuleINI::IniPeekString(Setup, QStringLiteral("AGENT")).trimmed();
    settings.Location = ModuleINI::IniPeekString(Setup, QStringLiteral("LOCATION")).trimmed();
    for (int column = 0; column < MainWindowLayout::ColumnCount; ++column)
        layout.columnWidths.append(IniReadInt(Setting, columnKey(column), DefaultColumnWidth));
    return layout;
}

bool SaveINI(const MainWindowLayout& layout, bool normalState, MonitorSettings& settings) {
    IniFile file = ModuleINI::SettingsFile();
    QList<IniFile::Entry> entries;
    if (normalState) {
        entries.append({Setting, QStringLiteral("MAINHEIGHT"), QString::number(layout.height)});
        entries.append({Setting, QStringLiteral("MAINWIDTH"), QString::number(layout.width)});
    }
    const std::optional<QString> skin = file.value(Setup, QStringLiteral("SKIN"));
    if (skin && !skin->isEmpty()) {
        settings.Skin = ModuleINI::cutToReadLimit(*skin);
    } else {
        settings.Skin = DefaultSkin;
        entries.append({Setup, QStringLiteral("SKIN"), DefaultSkin});
    }
    for (int column = 0; column < layout.columnWidths.size(); ++column) {
        entries.append(
            {Setting, columnKey(column), ModuleINI::numberText(layout.columnWidths.at(column))});
    }
    return file.setValues(entries);
}

} // namespace SettingsStore
