#pragma once

#include "monitor/AlertEvent.h"

#include <QList>

// Records every event the monitor hands its alert feed.
class RecordingFeed final : public AlertFeed {
public:
    void alertRaised(const AlertEvent& event) override { events.append(event); }
    QList<AlertEvent> events;
};
