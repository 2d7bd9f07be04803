#include "config/IniFile.h"

#include "platform/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <utility>

namespace {

// Lines with their own line ends: "\n", "\r\n" or a lone "\r" (a file from an
// editor that ends lines with CR alone has lines too), so untouched lines are
// written back exactly as they were read.
struct Lines {
    struct Line {
        QByteArray text;
        QByteArray end; // empty only for a last line without a line end
    };
    QByteArray byteOrderMark; // kept apart so a first line reads like any other
    QList<Line> lines;
    QByteArray lineEnd = QByteArrayLiteral("\n");

    static Lines fromContent(const QByteArray& content) {
        Lines result;
        if (content.startsWith("\xEF\xBB\xBF"))
            result.byteOrderMark = content.left(3);
        qsizetype begin = result.byteOrderMark.size();
        while (begin < content.size()) {
            qsizetype end = begin;
            while (end < content.size() && content.at(end) != '\n' && content.at(end) != '\r')
                ++end;
            Line line{content.mid(begin, end - begin), {}};
            if (end < content.size()) {
                const bool crlf = content.at(end) == '\r' && end + 1 < content.size() &&
                                  content.at(end + 1) == '\n';
                line.end = content.mid(end, crlf ? 2 : 1);
            }
            begin = end + line.end.size();
            result.lines.append(std::move(line));
        }
        if (!result.lines.isEmpty() && !result.lines.constFirst().end.isEmpty())
            result.lineEnd = result.lines.constFirst().end;
        return result;
    }

    QByteArray content() const {
        QByteArray result = byteOrderMark;
        for (const Line& line : lines)
            result.append(line.text).append(line.end);
        return result;
    }

    // An added line ends like the line before it, so its end never joins the
    // next line's into a different one (a CR before an LF of an empty line).
    void insert(qsizetype index, const QString& text) {
        if (index == lines.size() && index > 0 && lines.constLast().end.isEmpty())
            lines.last().end = lineEnd;
        const QByteArray end = index > 0 ? lines.at(index - 1).end : lineEnd;
        lines.insert(index, Line{text.toUtf8(), end});
    }
};

struct LineInfo {
    enum Kind { Other, Section, Entry };
    Kind kind = Other;
    QString name;
    QString value;
};

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// UTF-8 that keeps a U+FEFF at the start of a line: only the file's own byte
// order mark is not part of its first line.
QString decodeLine(const QByteArray& raw) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(raw);
}

LineInfo classify(const QByteArray& raw) {
    const QString text = trimBlanks(decodeLine(raw));
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return {};
        return {LineInfo::Section, trimBlanks(text.mid(1, close - 1)), {}};
    }
    if (text.startsWith(QLatin1Char(';')) || text.startsWith(QLatin1Char('#')))
        return {};
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return {};
    const QString key = trimBlanks(text.left(equals));
    if (key.isEmpty())
        return {};
    return {LineInfo::Entry, key, trimBlanks(text.mid(equals + 1))};
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Replaces the entry in the first section of that name that holds it, or adds
// it after the last line of the first such section, or appends a new section.
void apply(Lines& file, const IniFile::Entry& entry) {
    const QString section = trimBlanks(entry.section);
    const QString key = trimBlanks(entry.key);
    bool inSection = false;
    int sectionsSeen = 0;
    qsizetype insertAfter = -1;
    for (qsizetype i = 0; i < file.lines.size(); ++i) {
        const LineInfo info = classify(file.lines.at(i).text);
        if (info.kind == LineInfo::Section) {
            inSection = sameName(info.name, section);
            if (inSection && ++sectionsSeen == 1)
                insertAfter = i;
            continue;
        }
        if (!inSection)
            continue;
        if (info.kind == LineInfo::Entry && sameName(info.name, key)) {
            file.lines[i].text = (info.name + QLatin1Char('=') + entry.value).toUtf8();
            return;
        }
        if (sectionsSeen == 1 && !file.lines.at(i).text.trimmed().isEmpty())
            insertAfter = i;
    }
    const QString line = key + QLatin1Char('=') + entry.value;
    if (insertAfter >= 0) {
        file.insert(insertAfter + 1, line);
        return;
    }
    file.insert(file.lines.size(), QLatin1Char('[') + section + QLatin1Char(']'));
    file.insert(file.lines.size(), line);
}

bool hasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
           text.contains(QChar(0));
}

struct Content {
    bool exists = false;
    bool readable = true;
    QByteArray bytes;
};

Content readContent(const QString& path) {
    Content result;
    if (!QFileInfo::exists(path))
        return result;
    result.exists = true;
    // Only a regular file is read: opening a named pipe would wait for a
    // writer and freeze the window.
    if (!QFileInfo(path).isFile()) {
        result.readable = false;
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.readable = false;
        return result;
    }
    result.bytes = file.readAll();
    result.readable = file.error() == QFileDevice::NoError;
    return result;
}

} // namespace

IniFile::IniFile(QString path)
    : m_path(std::move(path)) {}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    if (!isValidSection(section) || !isValidKey(key))
        return std::nullopt;
    const Content content = readContent(m_path);
    if (!content.readable)
        return std::nullopt;
    const QString wantedSection = trimBlanks(section);
    const QString wantedKey = trimBlanks(key);
    bool inSection = false;
    for (const Lines::Line& line : Lines::fromContent(content.bytes).lines) {
        const LineInfo info = classify(line.text);
        if (info.kind == LineInfo::Section)
            inSection = sameName(info.name, wantedSection);
        else if (inSection && info.kind == LineInfo::Entry && sameName(info.name, wantedKey))
            return info.value;
    }
    return std::nullopt;
}

bool IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    return setValues({{section, key, value}});
}

bool IniFile::setValues(const QList<Entry>& entries) {
    for (const Entry& entry : entries) {
        if (!isValidSection(entry.section) || !isValidKey(entry.key) || !isValidValue(entry.value))
            return false;
    }
    const Content content = readContent(m_path);
    if (!content.readable)
        return false;
    Lines file = Lines::fromContent(content.bytes);
    for (const Entry& entry : entries)
        apply(file, entry);
    const QByteArray updated = file.content();
    if (content.exists && updated == content.bytes)
        return true;
    return WholeFile::write(m_path, updated);
}

bool IniFile::isValidSection(const QString& section) {
    const QString name = trimBlanks(section);
    return !name.isEmpty() && !hasLineBreak(name) && !name.contains(QLatin1Char(']'));
}

bool IniFile::isValidKey(const QString& key) {
    const QString name = trimBlanks(key);
    return !name.isEmpty() && !hasLineBreak(name) && !name.contains(QLatin1Char('=')) &&
           !name.startsWith(QLatin1Char('[')) && !name.startsWith(QLatin1Char(';')) &&
           !name.startsWith(QLatin1Char('#'));
}

bool IniFile::isValidValue(const QString& value) {
    return !hasLineBreak(value);
}
