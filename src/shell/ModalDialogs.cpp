#include "shell/ModalDialogs.h"

#include <QApplication>
#include <QDialog>

namespace ModalDialogs {

int exec(QDialog& dialog) {
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

void closeAll() {
    const QWidget* refused = nullptr;
    while (QWidget* dialog = QApplication::activeModalWidget()) {
        if (dialog == refused)
            break;
        if (!dialog->close())
            refused = dialog;
    }
}

} // namespace ModalDialogs
