#include "BenchDoubles.h"

#include <QPointer>

void InstantEcho::PingHost(const QString&, QObject* context, Done done) {
    QMetaObject::invokeMethod(
        &m_receiver,
        [context = QPointer<QObject>(context), done = std::move(done)] {
            if (context)
                done(0, EchoReply{});
        },
        Qt::QueuedConnection);
}
