#pragma once

#include <QString>

#include <optional>

// How a probe's connection is secured: plain TCP, TLS from the first byte,
// or TLS after the STARTTLS exchange of the service's own protocol.
enum class Transport : quint8 { Plain, Tls, StartTlsSmtp, StartTlsImap, StartTlsPop3, StartTlsFtp };

// The catalogue's text for a transport: '' (plain), 'tls', 'starttls-smtp',
// 'starttls-imap', 'starttls-pop3', 'starttls-ftp'.
QString transportText(Transport transport);
// The transport a catalogue text names; nothing for any other text.
std::optional<Transport> transportFromText(const QString& text);

// What a TLS probe of one server needs besides its address and port.
struct TlsOptions {
    Transport transport = Transport::Plain;
    // The name sent as SNI and checked against the certificate; empty: the
    // server's address.
    QString serverName;
    // Trust and host-name errors are not faults; expiry is still read.
    bool ignoreErrors = false;

    bool isPlain() const { return transport == Transport::Plain; }
    friend bool operator==(const TlsOptions&, const TlsOptions&) = default;
};
