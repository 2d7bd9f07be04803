#pragma once

#include "monitor/ServerRecord.h"

#include <QString>

#include <optional>

// The catalogue's text for how a server is checked: 'tcp' or 'http'.
QString checkKindText(ServerRecord::CheckKind kind);
// The kind a catalogue text names; nothing for any other text.
std::optional<ServerRecord::CheckKind> checkKindFromText(const QString& text);
