#include "platform/SystemProcessStarter.h"

#include <QProcess>
#include <QStandardPaths>

QString SystemProcessStarter::findExecutable(const QString& name) const {
    if (name.isEmpty())
        return {};
    return QStandardPaths::findExecutable(name);
}

bool SystemProcessStarter::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}
