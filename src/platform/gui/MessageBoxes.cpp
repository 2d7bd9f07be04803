#include "platform/gui/MessageBoxes.h"

#include <QQueue>

namespace MessageBoxes {
namespace {
struct TestSeam {
    bool enabled = false;
    QQueue<QMessageBox::StandardButton> answers;
    QList<Shown> shown;
};

TestSeam& seam() {
    static TestSeam instance;
    return instance;
}

QMessageBox::StandardButton firstButton(QMessageBox::StandardButtons buttons) {
    for (int bit = 0; bit < 32; ++bit) {
        const auto button = static_cast<QMessageBox::StandardButton>(1u << bit);
        if (buttons.testFlag(button))
            return button;
    }
    return QMessageBox::Ok;
}
} // namespace

QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                 const QString& text, QMessageBox::StandardButtons buttons) {
    if (seam().enabled) {
        seam().shown.append({icon, title, text});
        return seam().answers.isEmpty() ? firstButton(buttons) : seam().answers.dequeue();
    }
    auto box = makeBox(parent, icon, title, text, buttons);
    // Modal to its window only: the tray icon stays live while a box is open.
    if (parent)
        box->setWindowModality(Qt::WindowModal);
    return static_cast<QMessageBox::StandardButton>(box->exec());
}

std::unique_ptr<QMessageBox> makeBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                     const QString& text, QMessageBox::StandardButtons buttons) {
    auto box = std::make_unique<QMessageBox>(icon, title, QString(), buttons, parent);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    return box;
}

void setTestMode(bool enabled) {
    seam() = TestSeam{};
    seam().enabled = enabled;
}

void queueAnswer(QMessageBox::StandardButton answer) {
    seam().answers.enqueue(answer);
}

QList<Shown> takeShown() {
    return std::exchange(seam().shown, {});
}

} // namespace MessageBoxes
