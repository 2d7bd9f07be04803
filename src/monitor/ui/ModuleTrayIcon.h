#pragma once

#include <QIcon>
#include <QString>

class TrayIcon;

// The program's one notification-area icon. The operations drive the tray
// set with setTrayIcon; without one (or after it is gone) they do nothing.
// Texts are cut to the byte sizes of the shell's icon record, counted in
// GBK, so they show the same as they would in that record.
namespace ModuleTrayIcon {

constexpr int TipBytes = 128;
constexpr int BalloonTextBytes = 256;
constexpr int BalloonTitleBytes = 64;

void setTrayIcon(TrayIcon* tray);
TrayIcon* trayIcon();

// The text up to its first zero character, cut to at most fieldBytes bytes of
// its GBK form without splitting a character. A character GBK cannot hold
// counts as one byte, as the replacement the code page would store.
QString cutToBytes(const QString& text, int fieldBytes);

// An icon file is read at once; a file that holds no image leaves the
// current picture in place.
void TrayAdd(const QIcon& icon, const QString& tip);
void TrayAdd(const QString& iconFile, const QString& tip);
void TraySetTip(const QString& tip);
void TraySetIcon(const QIcon& icon);
void TraySetIcon(const QString& iconFile);
// The balloon shows the information icon, the only kind the program uses.
void TrayBalloon(const QString& text, const QString& title);
void TrayRemove();

} // namespace ModuleTrayIcon
