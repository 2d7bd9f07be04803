#include "platform/gui/AppIcons.h"

#include "platform/gui/AppResources.h"

namespace AppIcons {
namespace {

QIcon iconNamed(const QString& name) {
    registerAppResources();
    QIcon icon;
    for (const int size : {16, 32})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

} // namespace

QIcon programIcon() {
    return iconNamed(QStringLiteral("program"));
}

QIcon alertIcon(int element) {
    return iconNamed(element == 1 ? QStringLiteral("alert1") : QStringLiteral("alert2"));
}

AlertPictures Picture1() {
    return {programIcon(), alertIcon(1), alertIcon(2)};
}

} // namespace AppIcons
