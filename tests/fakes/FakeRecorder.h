#pragma once

#include "monitor/ResultRecorder.h"

#include <QList>

// Keeps every result the monitor hands over.
class FakeRecorder final : public ResultRecorder {
public:
    void record(const ProbeOutcome& outcome) override { outcomes.append(outcome); }
    QList<ProbeOutcome> outcomes;
};
