#include "service/JsonElementReader.h"

#include "service/Utf8Chunks.h"

#include <QJsonArray>
#include <QJsonDocument>

JsonElementReader::JsonElementReader(Utf8Chunks& text)
    : m_text(text) {}

bool JsonElementReader::atEnd() {
    while (m_at >= m_piece.size()) {
        if (!m_text.next(m_piece))
            return true;
        m_at = 0;
    }
    return false;
}

void JsonElementReader::skipBlanks() {
    while (!atEnd()) {
        const QChar c = current();
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\r') &&
            c != QLatin1Char('\n'))
            return;
        if (c == QLatin1Char('\n'))
            ++m_line;
        ++m_at;
    }
}

bool JsonElementReader::syntaxError(QJsonParseError::ParseError kind, int line) {
    m_failure = Failure::Syntax;
    m_errorKind = kind;
    m_errorLine = line;
    return false;
}

// Takes the text of the element at the reading position, up to the comma
// or bracket after it, which is passed too.
bool JsonElementReader::scanElement(Element& element) {
    element = Element{m_line, {}, {}};
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (;;) {
        if (atEnd())
            return syntaxError(inString ? QJsonParseError::UnterminatedString
                                        : QJsonParseError::UnterminatedArray,
                               m_line);
        const QChar c = current();
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == QLatin1Char('\\'))
                escaped = true;
            else if (c == QLatin1Char('"'))
                inString = false;
        } else if (depth == 0 && (c == QLatin1Char(',') || c == QLatin1Char(']'))) {
            ++m_at;
            m_state = c == QLatin1Char(',') ? State::NextElement : State::Closed;
            return true;
        } else if (c == QLatin1Char('"')) {
            inString = true;
        } else if (c == QLatin1Char('[') || c == QLatin1Char('{')) {
            ++depth;
        } else if (c == QLatin1Char(']') || c == QLatin1Char('}')) {
            // A closing bracket without its opening one: the parser names the fault.
            if (--depth < 0) {
                element.text += c;
                ++m_at;
                return true;
            }
        }
        if (c == QLatin1Char('\n'))
            ++m_line;
        element.text += c;
        ++m_at;
    }
}

bool JsonElementReader::next(Element& element) {
    if (m_failure != Failure::None)
        return false;
    if (m_state == State::Start) {
        skipBlanks();
        if (atEnd())
            return syntaxError(QJsonParseError::IllegalValue, m_line);
        if (current() != QLatin1Char('[')) {
            m_failure = Failure::NotArray;
            return false;
        }
        ++m_at;
        m_state = State::FirstElement;
    }
    skipBlanks();
    if (m_state == State::Closed) {
        if (!atEnd())
            return syntaxError(QJsonParseError::GarbageAtEnd, m_line);
        return false;
    }
    if (atEnd())
        return syntaxError(QJsonParseError::UnterminatedArray, m_line);
    if (m_state == State::FirstElement && current() == QLatin1Char(']')) {
        ++m_at;
        m_state = State::Closed;
        return next(element);
    }
    if (!scanElement(element))
        return false;
    const QByteArray array = '[' + element.text.toUtf8() + ']';
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(array, &error);
    if (error.error != QJsonParseError::NoError)
        return syntaxError(error.error,
                           element.line + static_cast<int>(array.left(error.offset).count('\n')));
    // Nothing between two commas, or before the closing bracket.
    if (document.array().size() != 1)
        return syntaxError(QJsonParseError::IllegalValue, element.line);
    element.value = document.array().first();
    return true;
}
