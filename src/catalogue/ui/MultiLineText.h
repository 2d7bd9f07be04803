#pragma once

#include <QString>

class QPlainTextEdit;

// Multi-line boxes hold line breaks as CR LF, the form requests, replies and
// the catalogue use. The editor widget itself keeps bare LF, so every
// read and write of a box goes through here.
namespace MultiLineText {

QString text(const QPlainTextEdit& box);
void setText(QPlainTextEdit& box, const QString& text);

} // namespace MultiLineText
