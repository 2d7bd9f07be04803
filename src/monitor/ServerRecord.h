#pragma once

#include "tls/TlsOptions.h"

#include <QString>

// One server of the catalogue, as loaded into a row of the result list.
struct ServerRecord {
    // silencedUntil: 0 not silenced, this value until the server's next
    // recovery, otherwise the UTC time in ms since the epoch when it ends.
    static constexpr qint64 SilencedUntilRecovery = -1;
    // How the server is checked: a TCP probe, or an HTTP(S) request.
    enum class CheckKind : quint8 { Tcp, Http };

    qint64 id = 0;
    QString displayName;
    QString ipAddress;
    QString port;
    QString postData;
    QString replyData;
    QString addTime;
    bool inUse = true;
    qint32 warnMs = 0; // a correct reply slower than this is slow; 0: no warning
    qint64 silencedUntil = 0;

    // Members below all have initializers, so a record listing only the
    // fields above still initializes every one.
    CheckKind checkKind = CheckKind::Tcp;
    TlsOptions tls{};
    qint32 certWarnDays = 14; // warn of a certificate this many days before it expires; 0: never
    // The certificate (fingerprint and threshold) last warned about; written
    // by the monitor, never by an edit.
    QString certNotified{};
    QString url{};
    QString httpMethod = QStringLiteral("GET");
    QString httpHeaders{}; // one "Name: value" per line
    QString httpStatus = QStringLiteral("200-299");
    bool httpRedirects = true; // follow redirects, at most 10 hops
    QString jsonCondition{};
    qint64 parentId = 0; // the server this one depends on; 0: none
    QString locations{};
    // Raised by every change an operator makes to the server, so an edit can
    // tell that someone else changed it meanwhile.
    qint64 revision = 0;

    friend bool operator==(const ServerRecord&, const ServerRecord&) = default;
};
