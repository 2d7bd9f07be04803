#include "shell/AnnouncementPage.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QStringList>

namespace AnnouncementPage {
namespace {

// Every element open in the page, kept or not, up to this many; a page
// nested deeper loses its further tags (their text stays).
constexpr int MaxOpen = 256;

struct Attribute {
    QString name;
    QString value;
};

struct Tag {
    QString name; // lower case
    QList<Attribute> attributes;
    bool closing = false;
    bool selfClosing = false;
};

struct Open {
    QString name;
    bool kept;
};

bool isOneOf(const QString& name, std::initializer_list<const char*> names) {
    for (const char* candidate : names)
        if (name == QLatin1String(candidate))
            return true;
    return false;
}

enum Kind : unsigned {
    Kept = 1,       // shown as an element
    Void = 2,       // never has content or an end tag
    RawContent = 4, // its content is no page text
    TablePart = 8,  // belongs to the innermost open table
};

// An element name as a number, for cheap lookups: up to ten lower-case
// letters or digits, six bits each. Any other name is 0, which no element
// known here has.
quint64 nameKey(QStringView name) {
    if (name.size() > 10)
        return 0;
    quint64 key = 0;
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        const bool letter = c >= u'a' && c <= u'z';
        if (!letter && !(c >= u'0' && c <= u'9'))
            return 0;
        key = key << 6 | (letter ? c - u'a' + 11u : c - u'0' + 1u);
    }
    return key;
}

quint64 nameKey(const char* name) {
    return nameKey(QString::fromLatin1(name));
}

// What reduce() knows of an element; unknown elements are dropped, their text stays.
unsigned kindOf(const QString& name) {
    static const QHash<quint64, unsigned> kinds = [] {
        QHash<quint64, unsigned> all;
        for (const char* kept :
             {"a",   "b",   "big",   "blockquote", "center", "code", "dd",    "div",  "dl",
              "dt",  "em",  "font",  "h1",         "h2",     "h3",   "h4",    "h5",   "h6",
              "i",   "li",  "ol",    "p",          "pre",    "s",    "small", "span", "strong",
              "sub", "sup", "table", "tt",         "u",      "ul"})
            all.insert(nameKey(kept), Kept);
        for (const char* part : {"tr", "td", "th", "thead", "tbody", "tfoot", "caption"})
            all.insert(nameKey(part), Kept | TablePart);
        for (const char* empty : {"area", "base", "col", "embed", "img", "input", "link", "meta",
                                  "param", "source", "track", "wbr"})
            all.insert(nameKey(empty), Void);
        all.insert(nameKey("br"), Kept | Void);
        all.insert(nameKey("hr"), Kept | Void);
        for (const char* raw : {"script", "style", "title", "textarea", "xmp", "template"})
            all.insert(nameKey(raw), RawContent);
        all.remove(0);
        return all;
    }();
    return kinds.value(nameKey(name));
}

// Start tags that end an open element of these names when it is the innermost.
const QStringList& implicitlyClosed(const QString& name) {
    static const QStringList none;
    static const QHash<quint64, QStringList> closes = [] {
        const QStringList cells = {QStringLiteral("td"), QStringLiteral("th")};
        const QStringList rows = cells + QStringList{QStringLiteral("tr")};
        const QStringList sections =
            rows +
            QStringList{QStringLiteral("thead"), QStringLiteral("tbody"), QStringLiteral("tfoot")};
        const QStringList items = {QStringLiteral("li"), QStringLiteral("p")};
        const QStringList terms = {QStringLiteral("dt"), QStringLiteral("dd"), QStringLiteral("p")};
        return QHash<quint64, QStringList>{
            {nameKey("td"), cells},       {nameKey("th"), cells},
            {nameKey("tr"), rows},        {nameKey("thead"), sections},
            {nameKey("tbody"), sections}, {nameKey("tfoot"), sections},
            {nameKey("li"), items},       {nameKey("dt"), terms},
            {nameKey("dd"), terms},       {nameKey("p"), {QStringLiteral("p")}}};
    }();
    const auto found = closes.constFind(nameKey(name));
    return found == closes.cend() ? none : *found;
}

// An attribute value the layout takes as it is: short numbers, colours and
// alignments. Anything else is left out.
bool isPlainValue(const QString& attribute, const QString& value) {
    static const QRegularExpression number(QStringLiteral("^\\d{1,3}%?$"));
    static const QRegularExpression span(QStringLiteral("^[1-9]$"));
    static const QRegularExpression colour(QStringLiteral("^#?[A-Za-z0-9]{1,20}$"));
    static const QRegularExpression word(QStringLiteral("^[A-Za-z]{1,10}$"));
    static const QRegularExpression fontSize(QStringLiteral("^[+-]?[1-7]$"));
    if (isOneOf(attribute, {"colspan", "rowspan"}))
        return span.match(value).hasMatch();
    if (isOneOf(attribute, {"width", "border", "cellpadding", "cellspacing"}))
        return number.match(value).hasMatch();
    if (isOneOf(attribute, {"color", "bgcolor"}))
        return colour.match(value).hasMatch();
    if (isOneOf(attribute, {"align", "valign"}))
        return word.match(value).hasMatch();
    if (attribute == QLatin1String("size"))
        return fontSize.match(value).hasMatch();
    return false;
}

bool isKeptAttribute(const QString& element, const Attribute& attribute) {
    if (element == QLatin1String("a"))
        return attribute.name == QLatin1String("href");
    if (element == QLatin1String("font"))
        return isOneOf(attribute.name, {"color", "size"}) &&
               isPlainValue(attribute.name, attribute.value);
    static const QStringList table = {
        QStringLiteral("align"),  QStringLiteral("valign"),      QStringLiteral("bgcolor"),
        QStringLiteral("width"),  QStringLiteral("colspan"),     QStringLiteral("rowspan"),
        QStringLiteral("border"), QStringLiteral("cellpadding"), QStringLiteral("cellspacing")};
    if (element == QLatin1String("table") || (kindOf(element) & TablePart))
        return table.contains(attribute.name) && isPlainValue(attribute.name, attribute.value);
    return attribute.name == QLatin1String("align") &&
           isPlainValue(attribute.name, attribute.value);
}

bool isNameChar(QChar ch) {
    return ch.isLetterOrNumber() || ch == u'-' || ch == u'_' || ch == u':';
}

// Reads the tag that starts at page[at] == '<' followed by a letter or '/';
// returns the position after its '>' (or the end of the page).
qsizetype readTag(const QString& page, qsizetype at, Tag& tag) {
    const qsizetype size = page.size();
    qsizetype i = at + 1;
    if (i < size && page.at(i) == u'/') {
        tag.closing = true;
        ++i;
    }
    const qsizetype nameStart = i;
    while (i < size && isNameChar(page.at(i)))
        ++i;
    tag.name = page.mid(nameStart, i - nameStart).toLower();
    while (i < size) {
        const QChar ch = page.at(i);
        if (ch == u'>')
            return i + 1;
        if (ch.isSpace()) {
            ++i;
            continue;
        }
        if (ch == u'/') {
            tag.selfClosing = i + 1 < size && page.at(i + 1) == u'>';
            ++i;
            continue;
        }
        Attribute attribute;
        const qsizetype attributeStart = i;
        while (i < size && !page.at(i).isSpace() && page.at(i) != u'=' && page.at(i) != u'>' &&
               page.at(i) != u'/')
            ++i;
        if (i == attributeStart) { // a stray '=': skip it
            ++i;
            continue;
        }
        attribute.name = page.mid(attributeStart, i - attributeStart).toLower();
        while (i < size && page.at(i).isSpace())
            ++i;
        if (i < size && page.at(i) == u'=') {
            ++i;
            while (i < size && page.at(i).isSpace())
                ++i;
            if (i < size && (page.at(i) == u'"' || page.at(i) == u'\'')) {
                const QChar quote = page.at(i);
                const qsizetype end = page.indexOf(quote, i + 1);
                const qsizetype stop = end < 0 ? size : end;
                attribute.value = page.mid(i + 1, stop - i - 1);
                i = end < 0 ? size : end + 1;
            } else {
                const qsizetype valueStart = i;
                while (i < size && !page.at(i).isSpace() && page.at(i) != u'>')
                    ++i;
                attribute.value = page.mid(valueStart, i - valueStart);
            }
        }
        tag.attributes.append(attribute);
    }
    return size;
}

class Reducer {
public:
    QString run(const QString& page) {
        const qsizetype size = page.size();
        qsizetype i = 0;
        // Once nothing more can be kept, the rest of the page only closes.
        while (i < size && (m_elements < MaxElements || m_textChars < MaxTextChars)) {
            const qsizetype lt = page.indexOf(u'<', i);
            const qsizetype textEnd = lt < 0 ? size : lt;
            appendText(QStringView(page).mid(i, textEnd - i));
            if (lt < 0)
                break;
            i = markupAt(page, lt);
        }
        while (!m_open.isEmpty())
            pop();
        return m_out;
    }

private:
    // Handles the markup at page[at] == '<' and returns where the page goes on.
    qsizetype markupAt(const QString& page, qsizetype at) {
        const QStringView rest = QStringView(page).mid(at);
        if (rest.startsWith(u"<!--")) {
            const qsizetype end = page.indexOf(QLatin1String("-->"), at + 4);
            return end < 0 ? page.size() : end + 3;
        }
        const QChar next = rest.size() > 1 ? rest.at(1) : QChar();
        if (next == u'!' || next == u'?') {
            const qsizetype end = page.indexOf(u'>', at);
            return end < 0 ? page.size() : end + 1;
        }
        const QChar first = next == u'/' && rest.size() > 2 ? rest.at(2) : next;
        if (!first.isLetter()) {
            appendText(u"<");
            return at + 1;
        }
        Tag tag;
        const qsizetype after = readTag(page, at, tag);
        if (tag.closing) {
            close(tag.name);
            return after;
        }
        const unsigned kind = kindOf(tag.name);
        if ((kind & RawContent) && !tag.selfClosing) {
            const QString end = QStringLiteral("</") + tag.name;
            const qsizetype endAt = page.indexOf(end, after, Qt::CaseInsensitive);
            if (endAt < 0)
                return page.size();
            const qsizetype gt = page.indexOf(u'>', endAt);
            return gt < 0 ? page.size() : gt + 1;
        }
        open(tag, kind);
        return after;
    }

    void appendText(QStringView text) {
        const qsizetype room = MaxTextChars - m_textChars;
        if (room <= 0 || text.isEmpty())
            return;
        const QStringView taken = text.first(qMin(room, text.size()));
        m_textChars += taken.size();
        // Text holds no '<' but a stray one; entities stay as written.
        m_out += taken.toString().replace(QLatin1Char('<'), QLatin1String("&lt;"));
    }

    void open(const Tag& tag, unsigned kind) {
        const QStringList& closes = implicitlyClosed(tag.name);
        while (!m_open.isEmpty() && closes.contains(m_open.last().name))
            pop();
        const bool isVoidTag = (kind & Void) || tag.selfClosing;
        // Beyond MaxOpen nothing more is opened, kept or not.
        const bool opens = !isVoidTag && m_open.size() < MaxOpen;
        const bool keep = (kind & Kept) && m_elements < MaxElements &&
                          (isVoidTag || (opens && m_keptDepth < MaxDepth)) &&
                          fitsItsTable(tag.name, kind);
        if (keep) {
            ++m_elements;
            m_out += QLatin1Char('<') + tag.name;
            for (const Attribute& attribute : tag.attributes) {
                if (isKeptAttribute(tag.name, attribute))
                    m_out += QLatin1Char(' ') + attribute.name + QStringLiteral("=\"") +
                             attribute.value.toHtmlEscaped() + QLatin1Char('"');
            }
            m_out += QLatin1Char('>');
        }
        if (!opens)
            return;
        m_open.append({tag.name, keep});
        if (keep) {
            ++m_keptDepth;
            m_keptTables += tag.name == QLatin1String("table");
        }
    }

    // Table parts belong to the innermost open table and go with it; a
    // table is kept only within MaxTableDepth.
    bool fitsItsTable(const QString& name, unsigned kind) const {
        if (name == QLatin1String("table"))
            return m_keptTables < MaxTableDepth;
        if (!(kind & TablePart))
            return true;
        for (auto it = m_open.crbegin(); it != m_open.crend(); ++it) {
            if (it->name == QLatin1String("table"))
                return it->kept;
        }
        return false;
    }

    void close(const QString& name) {
        for (qsizetype at = m_open.size() - 1; at >= 0; --at) {
            if (m_open.at(at).name == name) {
                while (m_open.size() > at)
                    pop();
                return;
            }
        }
    }

    void pop() {
        const Open last = m_open.takeLast();
        if (!last.kept)
            return;
        m_out += QStringLiteral("</") + last.name + QLatin1Char('>');
        --m_keptDepth;
        m_keptTables -= last.name == QLatin1String("table");
    }

    QString m_out;
    QList<Open> m_open;
    int m_keptDepth = 0;
    int m_keptTables = 0;
    int m_elements = 0;
    qsizetype m_textChars = 0;
};

} // namespace

QString reduce(const QString& page) {
    return Reducer().run(page);
}

} // namespace AnnouncementPage
