#pragma once

#include "monitor/ServerRecord.h"

#include <QString>
#include <optional>

// What a server needs before the catalogue takes it, checked alike by the add
// and edit dialogs and by an import.
namespace ServerChecks {

enum class Field { DisplayName, IPAddress };

struct Refusal {
    Field field;
    QString text;
};

// An empty name, then an empty address; a text of blanks passes.
std::optional<Refusal> MissingField(const ServerRecord& server);

// The longest slow-reply warning time, an hour.
constexpr qint32 MaxWarnMs = 3600000;
// A slow-reply warning time as typed: a whole number of milliseconds from 0
// up to MaxWarnMs, a blank meaning 0 (no warning); nothing when it is none.
std::optional<qint32> WarnMsOf(const QString& text);

// The longest certificate expiry warning, ten years ahead.
constexpr qint32 MaxCertWarnDays = 3650;

} // namespace ServerChecks
