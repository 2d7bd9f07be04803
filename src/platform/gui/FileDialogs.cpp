#include "platform/gui/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QQueue>
#include <QRegularExpression>

namespace FileDialogs {
namespace {
struct TestSeam {
    bool enabled = false;
    QQueue<QString> paths;
};

TestSeam& seam() {
    static TestSeam instance;
    return instance;
}

QString answer() {
    return seam().paths.isEmpty() ? QString() : seam().paths.dequeue();
}

// "csv" of the filter "CSV 文件 (*.csv)"; empty for a filter of several patterns.
QString suffixOf(const QString& filter) {
    static const QRegularExpression single(QStringLiteral("\\(\\*\\.(\\w+)\\)"));
    return single.match(filter).captured(1);
}
} // namespace

QString openFileName(QWidget* parent, const QString& caption, const QString& filter) {
    if (seam().enabled)
        return answer();
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& filter) {
    if (seam().enabled)
        return answer();
    QString chosenFilter;
    QString path = QFileDialog::getSaveFileName(parent, caption, QString(), filter, &chosenFilter);
    const QString suffix = suffixOf(chosenFilter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty() && !suffix.isEmpty())
        path += QLatin1Char('.') + suffix;
    return path;
}

void setTestMode(bool enabled) {
    seam() = TestSeam{};
    seam().enabled = enabled;
}

void queuePath(const QString& path) {
    seam().paths.enqueue(path);
}

} // namespace FileDialogs
