#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// UTF-8 text read from a device a piece at a time, each piece of whole
// characters, a byte-order mark at the start left out. Only one piece is
// held at a time, so a text of any length is read in little memory.
class Utf8Chunks final {
    Q_DISABLE_COPY_MOVE(Utf8Chunks)
public:
    static constexpr qint64 ChunkBytes = 64 * 1024;
    enum class Failure { None, NotUtf8, ReadFailed };

    explicit Utf8Chunks(QIODevice& in);

    // The next piece; false at the end of the text, and at bytes that are
    // no UTF-8 or a device that fails, which end the text (failure() says
    // which).
    bool next(QString& text);
    Failure failure() const { return m_failure; }

private:
    QIODevice& m_in;
    QByteArray m_carry; // the start of a character the last read cut off
    bool m_started = false;
    bool m_ended = false;
    Failure m_failure = Failure::None;
};
