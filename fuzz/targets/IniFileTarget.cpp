#include "FuzzTarget.h"

#include "config/IniFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <algorithm>

namespace {

// An independent reading of the file, without its byte order mark: one entry
// per "key=value" line, under the last "[section]" line above it; blanks are
// spaces and tabs.
struct Entry {
    QString section;
    QString key;
    QString value;
};

QString blanksTrimmed(QString text) {
    while (!text.isEmpty() && (text.front() == u' ' || text.front() == u'\t'))
        text.remove(0, 1);
    while (!text.isEmpty() && (text.back() == u' ' || text.back() == u'\t'))
        text.chop(1);
    return text;
}

// A line ends at "\n", "\r\n" or a lone "\r"; only the last may lack an end.
struct RawLine {
    QByteArray text;
    QByteArray end;
};

QList<RawLine> linesOf(const QByteArray& content) {
    QList<RawLine> lines;
    RawLine line;
    for (qsizetype i = 0; i < content.size(); ++i) {
        const char c = content.at(i);
        if (c != '\r' && c != '\n') {
            line.text.append(c);
            continue;
        }
        line.end = c == '\r' && content.mid(i + 1, 1) == "\n" ? "\r\n" : QByteArray(1, c);
        i += line.end.size() - 1;
        lines.append(line);
        line = {};
    }
    if (!line.text.isEmpty())
        lines.append(line);
    return lines;
}

// UTF-8 in which a U+FEFF is a character like any other.
QString decoded(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

QList<Entry> entriesOf(const QByteArray& content) {
    QList<Entry> entries;
    QString section;
    bool inSection = false;
    for (const RawLine& line : linesOf(content)) {
        const QString text = blanksTrimmed(decoded(line.text));
        if (text.startsWith(u'[')) {
            const qsizetype close = text.indexOf(u']');
            if (close > 0) {
                section = blanksTrimmed(text.mid(1, close - 1));
                inSection = true;
            }
            continue;
        }
        const qsizetype equals = text.indexOf(u'=');
        if (!inSection || text.startsWith(u';') || text.startsWith(u'#') || equals < 0)
            continue;
        const QString key = blanksTrimmed(text.left(equals));
        if (!key.isEmpty())
            entries.append({section, key, blanksTrimmed(text.mid(equals + 1))});
    }
    return entries;
}

bool same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::optional<QString> firstValue(const QList<Entry>& entries, const QString& section,
                                  const QString& key) {
    for (const Entry& entry : entries) {
        if (same(entry.section, section) && same(entry.key, key))
            return entry.value;
    }
    return std::nullopt;
}

bool hasBreak(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}

// The rules for names and values that a write must accept, and only those.
bool writable(const QString& section, const QString& key, const QString& value) {
    const QString s = blanksTrimmed(section);
    const QString k = blanksTrimmed(key);
    return !s.isEmpty() && !hasBreak(s) && !s.contains(u']') && !k.isEmpty() && !hasBreak(k) &&
           !k.contains(u'=') && !k.startsWith(u'[') && !k.startsWith(u';') && !k.startsWith(u'#') &&
           !hasBreak(value);
}

bool sameLine(const RawLine& before, const RawLine& after) {
    return before.text == after.text && (before.end == after.end || before.end.isEmpty());
}

// The file after the write differs from the one before only by the written
// line: replaced in place keeping its line end, inserted once, or appended
// under a new section; an added line ends like the line before it, or like
// the file's first line when the file had no line before it or no line end.
bool onlyWrittenLineChanged(const QList<RawLine>& before, const QList<RawLine>& after,
                            const QString& section, const QString& key, const QString& value) {
    const QByteArray firstEnd =
        before.isEmpty() || before.constFirst().end.isEmpty() ? "\n" : before.constFirst().end;
    const auto endAfter = [&](qsizetype index) {
        return index > 0 ? after.at(index - 1).end : firstEnd;
    };
    const auto isWritten = [&](const RawLine& line) {
        const QString text = decoded(line.text);
        const qsizetype equals = text.indexOf(u'=');
        return equals > 0 && same(text.left(equals), key) && text.mid(equals + 1) == value;
    };
    const auto sameLines = [](const QList<RawLine>& a, const QList<RawLine>& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameLine);
    };
    if (after.size() == before.size()) {
        qsizetype changed = 0;
        for (qsizetype i = 0; i < before.size(); ++i) {
            if (sameLine(before.at(i), after.at(i)))
                continue;
            if (++changed > 1 || !isWritten(after.at(i)) || after.at(i).end != before.at(i).end)
                return false;
        }
        return true;
    }
    const qsizetype n = before.size();
    // A last line without an end gets the first line's end when lines follow.
    const auto lastLineEnded = [&] {
        return n == 0 || !before.constLast().end.isEmpty() || after.at(n - 1).end == firstEnd;
    };
    if (after.size() == n + 2)
        return sameLines(before, after.mid(0, n)) && lastLineEnded() &&
               after.at(n).text == (u'[' + section + u']').toUtf8() &&
               after.at(n).end == endAfter(n) && isWritten(after.constLast()) &&
               after.constLast().end == endAfter(n + 1);
    if (after.size() != n + 1)
        return false;
    qsizetype i = 0;
    while (i < n && sameLine(before.at(i), after.at(i)))
        ++i;
    return isWritten(after.at(i)) && after.at(i).end == endAfter(i) &&
           sameLines(before.mid(i), after.mid(i + 1)) && (i < n || lastLineEnded());
}

} // namespace

// Input: "section\x1Fkey\x1Fvalue\n" and then the file. The file is read, the
// key written and read back: it reads back as written, every other entry
// keeps its value, and no line but the written one changes.
SERVERMON_FUZZ_TARGET(ini_file) {
    static QTemporaryDir dir;
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype headerEnd = input.indexOf('\n');
    const QList<QByteArray> names = input.left(qMax<qsizetype>(headerEnd, 0)).split('\x1F');
    const QByteArray before = headerEnd < 0 ? input : input.mid(headerEnd + 1);
    const QString section = names.size() == 3 ? QString::fromUtf8(names.at(0)) : "Setup";
    const QString key = names.size() == 3 ? QString::fromUtf8(names.at(1)) : "Interval";
    const QString value = names.size() == 3 ? QString::fromUtf8(names.at(2)) : " 1000";

    const QString path = dir.filePath(QStringLiteral("fuzz.ini"));
    QFile file(path);
    fuzzCheck(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                  file.write(before) == before.size(),
              "the input file is written");
    file.close();

    IniFile ini(path);
    const QByteArray mark("\xEF\xBB\xBF");
    const QByteArray bodyBefore = before.startsWith(mark) ? before.mid(3) : before;
    const QList<Entry> entriesBefore = entriesOf(bodyBefore);
    for (const Entry& entry : entriesBefore) {
        if (writable(entry.section, entry.key, {}))
            fuzzCheck(ini.value(entry.section, entry.key) ==
                          firstValue(entriesBefore, entry.section, entry.key),
                      "the reader agrees with an independent reading");
    }

    const bool valid = writable(section, key, value);
    fuzzCheck(ini.setValue(section, key, value) == valid, "a write succeeds when valid");
    fuzzCheck(file.open(QIODevice::ReadOnly), "the file is still there");
    const QByteArray after = file.readAll();
    file.close();
    if (!valid) {
        fuzzCheck(after == before, "a rejected write changes nothing");
        return;
    }
    const QString s = blanksTrimmed(section);
    const QString k = blanksTrimmed(key);
    fuzzCheck(ini.value(s, k) == blanksTrimmed(value), "the written key reads back");
    fuzzCheck(after.startsWith(mark) == before.startsWith(mark), "the byte order mark is kept");
    const QByteArray bodyAfter = after.startsWith(mark) ? after.mid(3) : after;
    const QList<Entry> entriesAfter = entriesOf(bodyAfter);
    fuzzCheck(firstValue(entriesAfter, s, k) == blanksTrimmed(value),
              "the written key reads back independently");
    for (const Entry& entry : entriesBefore) {
        if (!(same(entry.section, s) && same(entry.key, k)))
            fuzzCheck(firstValue(entriesAfter, entry.section, entry.key) ==
                          firstValue(entriesBefore, entry.section, entry.key),
                      "every other entry keeps its value");
    }
    fuzzCheck(entriesAfter.size() - entriesBefore.size() <= 1, "at most one entry is added");
    fuzzCheck(onlyWrittenLineChanged(linesOf(bodyBefore), linesOf(bodyAfter), s, k, value),
              "no other line changes");
}
