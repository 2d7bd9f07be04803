#pragma once

#include <QString>

// Why a secured connection failed before or after its handshake. Kind None
// is no TLS fault: a plain socket error or no fault at all.
struct TlsFault {
    enum class Kind : quint8 {
        None,
        HandshakeFailed, // the handshake itself failed; reason: OpenSSL's text
        Expired,         // certificate faults: reason is OpenSSL's verify text
        Untrusted,
        NameMismatch,
        NoStartTls, // the STARTTLS exchange ended without the upgrade
        Broken,     // a TLS record after the handshake could not be read
    };
    Kind kind = Kind::None;
    QString reason;
};
