#pragma once

#include <QString>

// Qt takes a tool-tip or label text for rich text when it looks like markup,
// and rich text loads the images it names and lays out any nesting it is
// given: a reply or a name from outside could then hang or exhaust the
// program. Texts from outside reach such places only through here.
namespace PlainText {

// Markup that shows text exactly as written: every character escaped, line
// breaks (CR LF, CR or LF) kept, blanks kept, long lines wrapped.
QString asRichText(const QString& text);

} // namespace PlainText
