#pragma once

#include <QJsonParseError>
#include <QJsonValue>
#include <QString>

class Utf8Chunks;

// The elements of a JSON array read one at a time, each parsed on its own
// with the line it starts on, so a file of any length is read in little
// memory. A text that does not begin with an array is refused; a syntax
// error ends the reading with its line.
class JsonElementReader final {
    Q_DISABLE_COPY_MOVE(JsonElementReader)
public:
    struct Element {
        int line = 0; // where the element starts, from 1
        QString text; // the element as written
        QJsonValue value;
    };
    enum class Failure { None, NotArray, Syntax };

    explicit JsonElementReader(Utf8Chunks& text);

    // The next element; false after the last one and on a failure (the
    // text itself failing too: see Utf8Chunks).
    bool next(Element& element);
    Failure failure() const { return m_failure; }
    // For a syntax error: its line and kind.
    int errorLine() const { return m_errorLine; }
    QJsonParseError::ParseError errorKind() const { return m_errorKind; }

private:
    enum class State { Start, FirstElement, NextElement, Closed };

    bool atEnd();
    QChar current() const { return m_piece.at(m_at); }
    void skipBlanks();
    bool syntaxError(QJsonParseError::ParseError kind, int line);
    bool scanElement(Element& element);

    Utf8Chunks& m_text;
    QString m_piece;
    qsizetype m_at = 0;
    int m_line = 1;
    State m_state = State::Start;
    Failure m_failure = Failure::None;
    int m_errorLine = 0;
    QJsonParseError::ParseError m_errorKind = QJsonParseError::NoError;
};
