#pragma once

#include <QString>

class QWidget;

// Every file dialog goes through here. In test mode nothing is shown: each
// dialog is answered with the next queued path (none queued: cancelled).
namespace FileDialogs {

// The chosen file, empty when cancelled.
QString openFileName(QWidget* parent, const QString& caption, const QString& filter);
// The chosen file; a name without a suffix gets the one of the chosen filter.
QString saveFileName(QWidget* parent, const QString& caption, const QString& filter);

void setTestMode(bool enabled);
void queuePath(const QString& path);

} // namespace FileDialogs
