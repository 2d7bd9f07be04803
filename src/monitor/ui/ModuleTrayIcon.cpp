#include "monitor/ui/ModuleTrayIcon.h"

#include "monitor/GbkText.h"
#include "platform/gui/TrayIcon.h"

#include <QImageReader>
#include <QPointer>

namespace ModuleTrayIcon {
namespace {

// What the icon record keeps between operations.
struct TrayIconData {
    QPointer<TrayIcon> tray;
    QIcon icon;
};

TrayIconData& record() {
    static TrayIconData data;
    return data;
}

// The picture of an icon file, or the current one when the file holds none.
QIcon loadIcon(const QString& iconFile) {
    if (iconFile.isEmpty() || !QImageReader(iconFile).canRead())
        return record().icon;
    return QIcon(iconFile);
}

} // namespace

void setTrayIcon(TrayIcon* tray) {
    record().tray = tray;
}

TrayIcon* trayIcon() {
    return record().tray;
}

QString cutToBytes(const QString& text, int fieldBytes) {
    const qsizetype end = text.indexOf(QChar(u'\0'));
    const qsizetype length = end < 0 ? text.size() : end;
    int bytes = 0;
    qsizetype i = 0;
    while (i < length) {
        const qsizetype width =
            (text.at(i).isHighSurrogate() && i + 1 < length && text.at(i + 1).isLowSurrogate()) ? 2
                                                                                                : 1;
        const int charBytes =
            static_cast<int>(qMax<qsizetype>(1, GbkText::encode(text.mid(i, width)).size()));
        if (bytes + charBytes > fieldBytes)
            break;
        bytes += charBytes;
        i += width;
    }
    return text.left(i);
}

void TrayAdd(const QIcon& icon, const QString& tip) {
    record().icon = icon;
    if (TrayIcon* tray = trayIcon())
        tray->add(icon, cutToBytes(tip, TipBytes));
}

void TrayAdd(const QString& iconFile, const QString& tip) {
    TrayAdd(loadIcon(iconFile), tip);
}

void TraySetTip(const QString& tip) {
    if (TrayIcon* tray = trayIcon())
        tray->setTip(cutToBytes(tip, TipBytes));
}

void TraySetIcon(const QIcon& icon) {
    record().icon = icon;
    if (TrayIcon* tray = trayIcon())
        tray->setIcon(icon);
}

void TraySetIcon(const QString& iconFile) {
    TraySetIcon(loadIcon(iconFile));
}

void TrayBalloon(const QString& text, const QString& title) {
    if (TrayIcon* tray = trayIcon())
        tray->showBalloon(cutToBytes(title, BalloonTitleBytes), cutToBytes(text, BalloonTextBytes));
}

void TrayRemove() {
    if (TrayIcon* tray = trayIcon())
        tray->remove();
}

} // namespace ModuleTrayIcon
