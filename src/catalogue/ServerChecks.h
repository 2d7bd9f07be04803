#pragma once

#include "monitor/ServerRecord.h"

#include <QString>
#include <optional>

// What a server needs before the catalogue takes it, checked alike by the add
// and edit dialogs and by an import.
namespace ServerChecks {

enum class Field {
    DisplayName,
    IPAddress,
    Url,
    HttpMethod,
    HttpHeaders,
    HttpStatus,
    JsonCondition
};

struct Refusal {
    Field field;
    QString text;
};

// An empty name, then an empty address; a text of blanks passes. An HTTP(S)
// server's address comes from its URL, which HttpRefusal checks instead.
std::optional<Refusal> MissingField(const ServerRecord& server);

// The first of an HTTP(S) server's own fields that is wrong, in the dialog's
// order: the URL, the method, the request headers, the accepted status
// codes, the JSON condition (empty: none). Nothing for a TCP server.
std::optional<Refusal> HttpRefusal(const ServerRecord& server);

// An HTTP(S) server's address and port become its URL's host and effective
// port. A TCP server, and a URL that is none, keep theirs.
void TakeUrlAddress(ServerRecord& server);

// The longest slow-reply warning time, an hour.
constexpr qint32 MaxWarnMs = 3600000;
// A slow-reply warning time as typed: a whole number of milliseconds from 0
// up to MaxWarnMs, a blank meaning 0 (no warning); nothing when it is none.
std::optional<qint32> WarnMsOf(const QString& text);

// The longest certificate expiry warning, ten years ahead.
constexpr qint32 MaxCertWarnDays = 3650;

// The locations whose agents probe the server, as typed: names separated by
// ',' or '，', each trimmed, empty ones and repeats (in any letter case)
// dropped, joined by ','; empty means every location. Nothing when a name
// holds a control character.
std::optional<QString> LocationsOf(const QString& text);

} // namespace ServerChecks
