#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <string>
#include <string_view>
#include <vector>

// The texts of one column, each folded once, so that a sort compares every
// pair without folding both texts again. Keys order exactly as
// QString::compare(a, b, Qt::CaseInsensitive) orders the texts. A text whose
// units all fold within the basic plane keeps its folded units, stored high
// byte first so that comparing bytes orders them; the rare text with a
// surrogate (folded per code point) is kept as it is.
class CaseInsensitiveKeys final {
public:
    // Adds the key of the next text; keys are numbered from 0 in that order.
    void append(const QString& text);
    void clear();
    qsizetype size() const { return static_cast<qsizetype>(m_spans.size()); }
    // Whether text a sorts before text b without regard to case.
    bool less(qsizetype a, qsizetype b) const;

private:
    struct Span {
        size_t begin;
        size_t length;
    };
    std::string_view key(qsizetype i) const;

    std::string m_bytes;              // the folded texts one after another
    std::vector<Span> m_spans;        // each text's bytes; a repeated text shares them
    QHash<qsizetype, QString> m_kept; // texts kept unfolded, by number
    QString m_last;                   // the text appended last
};
