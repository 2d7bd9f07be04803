#include "service/CsvReader.h"

#include "service/Utf8Chunks.h"

#include <QCoreApplication>

namespace {
const QChar Quote = QLatin1Char('"');
const QChar Comma = QLatin1Char(',');
const QChar Cr = QLatin1Char('\r');
const QChar Lf = QLatin1Char('\n');
} // namespace

CsvReader::CsvReader(Utf8Chunks& text)
    : m_text(text) {}

bool CsvReader::atEnd() {
    while (m_at >= m_piece.size()) {
        if (!m_text.next(m_piece))
            return true;
        m_at = 0;
    }
    return false;
}

// Steps over the line break (CR LF, LF or CR) at the reading position.
void CsvReader::skipLineBreak() {
    const bool cr = current() == Cr;
    ++m_at;
    if (cr && !atEnd() && current() == Lf)
        ++m_at;
    ++m_line;
}

bool CsvReader::fail(int line, const QString& what) {
    m_error = QCoreApplication::translate("CsvReader", "第 %1 行:%2").arg(line).arg(what);
    return false;
}

bool CsvReader::next(Record& record) {
    if (!m_error.isEmpty())
        return false;
    while (!atEnd() && (current() == Cr || current() == Lf))
        skipLineBreak();
    if (atEnd())
        return false;
    record = Record{m_line, {}};
    for (;;) {
        QString field;
        if (!atEnd() && current() == Quote) {
            const int opened = m_line;
            ++m_at;
            for (;;) {
                if (atEnd())
                    return fail(opened, QCoreApplication::translate("CsvReader", "引号没有结束"));
                const QChar c = current();
                ++m_at;
                if (c == Quote) {
                    if (!atEnd() && current() == Quote) {
                        field += Quote;
                        ++m_at;
                        continue;
                    }
                    break;
                }
                // A CR LF inside a field counts as one line.
                if (c == Lf || (c == Cr && (atEnd() || current() != Lf)))
                    ++m_line;
                field += c;
            }
            if (!atEnd() && current() != Comma && current() != Cr && current() != Lf)
                return fail(m_line, QCoreApplication::translate("CsvReader", "引号之后还有文字"));
        } else {
            while (!atEnd() && current() != Comma && current() != Cr && current() != Lf) {
                if (current() == Quote)
                    return fail(m_line,
                                QCoreApplication::translate("CsvReader", "未加引号的字段中有引号"));
                field += current();
                ++m_at;
            }
        }
        record.fields.append(field);
        if (!atEnd() && current() == Comma) {
            ++m_at;
            continue;
        }
        break;
    }
    if (!atEnd())
        skipLineBreak();
    return true;
}
