#include "service/ServiceLog.h"

#include "platform/Clock.h"

#include <QDateTime>
#include <QFileDevice>
#include <QIODevice>

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
        default:
            text += c;
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
