#include "platform/PathSysInfoLocator.h"

#include <QStandardPaths>

PathSysInfoLocator::PathSysInfoLocator(QStringList searchPaths)
    : m_searchPaths(std::move(searchPaths)) {}

QStringList PathSysInfoLocator::candidates() {
    return {QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
            QStringLiteral("cpu-x"),     QStringLiteral("i-nex"),    QStringLiteral("lshw-gtk")};
}

QString PathSysInfoLocator::locate() const {
    for (const QString& name : candidates()) {
        const QString path = QStandardPaths::findExecutable(name, m_searchPaths);
        if (!path.isEmpty())
            return path;
    }
    return {};
}
