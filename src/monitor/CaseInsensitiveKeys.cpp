#include "monitor/CaseInsensitiveKeys.h"

#include <QChar>

#include <algorithm>

namespace {

char32_t foldedUnit(const std::string_view& key, size_t i) {
    return char32_t(static_cast<unsigned char>(key[2 * i])) << 8 |
           static_cast<unsigned char>(key[2 * i + 1]);
}

// A kept text against the folded key of another, folded as QString::compare
// folds without regard to case: unit by unit, except that a low surrogate
// after a high one stands for their code point.
int compareWithKey(QStringView text, std::string_view key) {
    const size_t keyUnits = key.size() / 2;
    const size_t common = std::min(static_cast<size_t>(text.size()), keyUnits);
    char32_t last = 0;
    for (size_t i = 0; i < common; ++i) {
        const char32_t unit = text[static_cast<qsizetype>(i)].unicode();
        const char32_t point = QChar::isLowSurrogate(unit) && QChar::isHighSurrogate(last)
                                   ? QChar::surrogateToUcs4(char16_t(last), char16_t(unit))
                                   : unit;
        last = unit;
        const char32_t mine = QChar::toCaseFolded(point);
        const char32_t theirs = foldedUnit(key, i);
        if (mine != theirs)
            return mine < theirs ? -1 : 1;
    }
    const size_t units = static_cast<size_t>(text.size());
    return units < keyUnits ? -1 : (units > keyUnits ? 1 : 0);
}

} // namespace

void CaseInsensitiveKeys::append(const QString& text) {
    // Rows often share one text (a status, a request template): folded once.
    if (!m_spans.empty() && text.constData() == m_last.constData() &&
        text.size() == m_last.size() && !m_kept.contains(size() - 1)) {
        m_spans.push_back(m_spans.back());
        return;
    }
    m_last = text;
    const size_t begin = m_bytes.size();
    m_bytes.resize(begin + 2 * static_cast<size_t>(text.size()));
    char* out = m_bytes.data() + begin;
    for (const QChar ch : text) {
        const char16_t unit = ch.unicode();
        char32_t folded = unit;
        if (unit >= u'A' && unit <= u'Z')
            folded = unit + (u'a' - u'A');
        else if (unit >= 0x80 && !QChar::isSurrogate(unit))
            folded = QChar::toCaseFolded(folded);
        if (QChar::isSurrogate(unit) || folded > 0xffff) {
            m_bytes.resize(begin);
            m_kept.insert(size(), text);
            break;
        }
        *out++ = static_cast<char>(folded >> 8);
        *out++ = static_cast<char>(folded & 0xff);
    }
    m_spans.push_back({begin, m_bytes.size() - begin});
}

void CaseInsensitiveKeys::clear() {
    m_bytes = {};
    m_spans = {};
    m_kept.clear();
    m_last = QString();
}

std::string_view CaseInsensitiveKeys::key(qsizetype i) const {
    const Span& span = m_spans[static_cast<size_t>(i)];
    return {m_bytes.data() + span.begin, span.length};
}

bool CaseInsensitiveKeys::less(qsizetype a, qsizetype b) const {
    if (!m_kept.isEmpty()) {
        const auto keptA = m_kept.constFind(a);
        const auto keptB = m_kept.constFind(b);
        const bool hasA = keptA != m_kept.cend();
        const bool hasB = keptB != m_kept.cend();
        if (hasA && hasB)
            return QString::compare(*keptA, *keptB, Qt::CaseInsensitive) < 0;
        if (hasA)
            return compareWithKey(*keptA, key(b)) < 0;
        if (hasB)
            return compareWithKey(*keptB, key(a)) > 0;
    }
    const Span& spanA = m_spans[static_cast<size_t>(a)];
    const Span& spanB = m_spans[static_cast<size_t>(b)];
    if (spanA.begin == spanB.begin && spanA.length == spanB.length)
        return false; // one text
    // Bytes compare unsigned, high byte first: the order of the folded units.
    return key(a) < key(b);
}
