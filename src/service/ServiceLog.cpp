#include "service/ServiceLog.h"

#include "platform/Clock.h"

#include <QDateTime>
#include <QFileDevice>
#include <QIODevice>

namespace {

// Characters a terminal acts on rather than shows: C0 and C1 controls and
// DEL, the line and paragraph separators, and the bidirectional controls
// that reorder what follows them.
bool isHidden(uint c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

ServiceLog::ServiceLog(QIODevice& out, const Clock& clock)
    : m_out(out)
    , m_clock(clock) {}

QString ServiceLog::escaped(const QString& field) {
    QString text;
    text.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
        case '\\':
            text += QLatin1String("\\\\");
            break;
        case '\t':
            text += QLatin1String("\\t");
            break;
        case '\n':
            text += QLatin1String("\\n");
            break;
        case '\r':
            text += QLatin1String("\\r");
            break;
        default: {
            const uint code = c.unicode();
            if (!isHidden(code))
                text += c;
            else if (code < 0x100)
                text += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
            else
                text += QStringLiteral("\\u{%1}").arg(code, 4, 16, QLatin1Char('0'));
        }
        }
    }
    return text;
}

QString ServiceLog::timeText(qint64 utcMs) {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(utcMs);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

void ServiceLog::write(const QStringList& fields) {
    QString line = timeText(m_clock.utcMs());
    for (const QString& field : fields) {
        line += QLatin1Char('\t');
        line += escaped(field);
    }
    line += QLatin1Char('\n');
    m_out.write(line.toUtf8());
    if (auto* file = qobject_cast<QFileDevice*>(&m_out))
        file->flush();
}
