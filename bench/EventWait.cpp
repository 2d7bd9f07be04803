#include "EventWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

bool waitUntil(const std::function<bool()>& done, qint64 timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    // Bounds each sleep, so the deadline is seen when nothing arrives.
    QTimer heartbeat;
    heartbeat.start(100);
    while (!done() && elapsed.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}
