#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// Runs work on the thread of `worker` and waits for its result in a local
// event loop on the main thread, so the window keeps painting and its timers
// keep running. Operator input waits until the call returns, so nothing the
// operator does can start another change in the middle of this one. When the
// work has not begun within timeoutMs it never runs and the call gives
// nothing; work that has begun is waited for, since it may use what the
// caller lent it.
template <typename Result>
std::optional<Result> callOnWorker(QObject* worker, std::function<Result()> work, int timeoutMs) {
    enum Phase { Queued, Running, Done, Cancelled };
    struct Call {
        std::atomic<int> phase{Queued};
        Result result{};
        QPointer<QEventLoop> loop; // touched on the main thread only
    };
    const auto call = std::make_shared<Call>();
    QEventLoop loop;
    call->loop = &loop;
    QMetaObject::invokeMethod(
        worker,
        [call, work = std::move(work)] {
            int expected = Queued;
            if (!call->phase.compare_exchange_strong(expected, Running))
                return;
            call->result = work();
            call->phase = Done;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [call] {
                    if (call->loop)
                        call->loop->quit();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    QTimer timeOut;
    timeOut.setSingleShot(true);
    QObject::connect(&timeOut, &QTimer::timeout, &loop, [&] {
        int expected = Queued;
        if (call->phase.compare_exchange_strong(expected, Cancelled))
            loop.quit();
    });
    timeOut.start(timeoutMs);
    while (call->phase != Done && call->phase != Cancelled)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (call->phase == Cancelled)
        return std::nullopt;
    return std::move(call->result);
}
