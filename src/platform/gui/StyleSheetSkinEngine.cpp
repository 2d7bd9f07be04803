#include "platform/gui/StyleSheetSkinEngine.h"

#include "platform/gui/AppResources.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <optional>

namespace {

// The text with comments and quoted strings blanked out, so braces inside
// them do not count; an unclosed comment or string gives no value.
std::optional<QString> withoutCommentsAndStrings(const QString& text) {
    QString plain;
    plain.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == u'/' && i + 1 < text.size() && text.at(i + 1) == u'*') {
            const qsizetype end = text.indexOf(QStringLiteral("*/"), i + 2);
            if (end < 0)
                return std::nullopt;
            plain += u' ';
            i = end + 2;
        } else if (c == u'"' || c == u'\'') {
            const qsizetype end = text.indexOf(c, i + 1);
            if (end < 0)
                return std::nullopt;
            plain += u'x';
            i = end + 1;
        } else {
            plain += c;
            ++i;
        }
    }
    return plain;
}

} // namespace

bool StyleSheetSkinEngine::isStyleSheet(const QString& text) {
    const auto plain = withoutCommentsAndStrings(text);
    if (!plain)
        return false;
    int rules = 0;
    qsizetype i = 0;
    while (true) {
        while (i < plain->size() && plain->at(i).isSpace())
            ++i;
        if (i == plain->size())
            return rules > 0;
        const qsizetype open = plain->indexOf(u'{', i);
        const qsizetype close = plain->indexOf(u'}', i);
        if (open < 0 || (close >= 0 && close < open) ||
            plain->sliced(i, open - i).trimmed().isEmpty())
            return false;
        const qsizetype nested = plain->indexOf(u'{', open + 1);
        if (close < 0 || (nested >= 0 && nested < close))
            return false;
        ++rules;
        i = close + 1;
    }
}

StyleSheetSkinEngine::StyleSheetSkinEngine() {
    // Style sheets set fonts and palettes as widgets' own; without propagation
    // Qt cannot take them back from widgets it does not polish (the viewports
    // of lists and headers), so a bold header font outlived its skin.
    QCoreApplication::setAttribute(Qt::AA_UseStyleSheetPropagationInWidgetStyles);
    // Skins draw check-box ticks with the program's built-in pictures.
    registerAppResources();
}

void StyleSheetSkinEngine::attachDefault() {
    qApp->setStyleSheet(QString());
}

bool StyleSheetSkinEngine::attachFile(const QString& path) {
    // Only regular files: opening a pipe or device from the skin folder could block.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxSkinBytes)
        return false;
    const QByteArray bytes = file.read(MaxSkinBytes + 1);
    if (bytes.size() > MaxSkinBytes || bytes.contains('\0'))
        return false;
    auto decoder = QStringDecoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() || !isStyleSheet(text))
        return false;
    qApp->setStyleSheet(text);
    return true;
}
