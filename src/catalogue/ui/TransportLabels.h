#pragma once

#include "tls/TlsOptions.h"

#include <QList>
#include <QString>

// How the dialogs name a transport: "无", "TLS", "STARTTLS (SMTP)" and so on.
namespace TransportLabels {

// Every transport, in the order the transport choice lists them.
const QList<Transport>& All();
QString Label(Transport transport);

} // namespace TransportLabels
