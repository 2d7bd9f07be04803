#include "notify/ChannelSignature.h"

#include <QMessageAuthenticationCode>

namespace ChannelSignature {

QByteArray dingTalk(const QString& secret, qint64 timestampMs) {
    const QByteArray key = secret.toUtf8();
    return QMessageAuthenticationCode::hash(QByteArray::number(timestampMs) + '\n' + key, key,
                                            QCryptographicHash::Sha256)
        .toBase64();
}

QByteArray feishu(const QString& secret, qint64 timestampS) {
    return QMessageAuthenticationCode::hash(QByteArray(),
                                            QByteArray::number(timestampS) + '\n' + secret.toUtf8(),
                                            QCryptographicHash::Sha256)
        .toBase64();
}

} // namespace ChannelSignature
