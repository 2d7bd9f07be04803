#include "FakeTrayIcon.h"

void FakeTrayIcon::add(const QIcon& newIcon, const QString& newTip) {
    added = true;
    icon = newIcon;
    tip = newTip;
    calls.append(QStringLiteral("add"));
}

void FakeTrayIcon::setTip(const QString& newTip) {
    tip = newTip;
    calls.append(QStringLiteral("setTip"));
}

void FakeTrayIcon::setIcon(const QIcon& newIcon) {
    icon = newIcon;
    ++iconChanges;
    calls.append(QStringLiteral("setIcon"));
}

void FakeTrayIcon::showBalloon(const QString& title, const QString& text) {
    balloons.append(title + QLatin1Char('|') + text);
    calls.append(QStringLiteral("showBalloon"));
}

void FakeTrayIcon::remove() {
    added = false;
    calls.append(QStringLiteral("remove"));
}
