#include "http/HttpResult.h"

#include <QStringDecoder>

QByteArray HttpResult::header(QByteArrayView name) const {
    for (const QByteArray& line : headers) {
        const qsizetype colon = line.indexOf(':');
        if (colon >= 0 &&
            QByteArrayView(line).first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QString HttpResult::bodyText() const {
    const QByteArray contentType = header("Content-Type");
    for (const QByteArray& parameter : contentType.split(';')) {
        const QByteArray pair = parameter.trimmed();
        if (!pair.toLower().startsWith("charset="))
            continue;
        QByteArray charset = pair.mid(8).trimmed();
        if (charset.size() >= 2 && charset.startsWith('"') && charset.endsWith('"'))
            charset = charset.mid(1, charset.size() - 2);
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}
