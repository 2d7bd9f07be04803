#pragma once

#include "platform/Clock.h"

#include <QElapsedTimer>

class SystemClock final : public Clock {
public:
    SystemClock();
    QTime localTime() const override;
    qint64 monotonicMs() const override;

private:
    QElapsedTimer m_started;
};
