#include "platform/gui/AppIcons.h"

// The resources live in a static library, so they are registered on first
// use rather than by a static initialiser the linker might drop.
static void registerResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(registered)
}

namespace AppIcons {
namespace {

QIcon iconNamed(const QString& name) {
    registerResources();
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
