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

} // namespace ServerChecks
