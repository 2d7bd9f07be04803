#include "catalogue/ui/TransportLabels.h"

#include <QCoreApplication>

namespace TransportLabels {

const QList<Transport>& All() {
    static const QList<Transport> all = {Transport::Plain,        Transport::Tls,
                                         Transport::StartTlsSmtp, Transport::StartTlsImap,
                                         Transport::StartTlsPop3, Transport::StartTlsFtp};
    return all;
}

QString Label(Transport transport) {
    switch (transport) {
    case Transport::Plain:
        break;
    case Transport::Tls:
        return QCoreApplication::translate("TransportLabels", "TLS");
    case Transport::StartTlsSmtp:
        return QCoreApplication::translate("TransportLabels", "STARTTLS (SMTP)");
    case Transport::StartTlsImap:
        return QCoreApplication::translate("TransportLabels", "STARTTLS (IMAP)");
    case Transport::StartTlsPop3:
        return QCoreApplication::translate("TransportLabels", "STARTTLS (POP3)");
    case Transport::StartTlsFtp:
        return QCoreApplication::translate("TransportLabels", "STARTTLS (FTP)");
    }
    return QCoreApplication::translate("TransportLabels", "无");
}

} // namespace TransportLabels
