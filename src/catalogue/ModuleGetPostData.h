#pragma once

#include "tls/TlsOptions.h"

#include <QString>
#include <optional>

// Request templates of the catalogue, looked up by port and transport.
namespace ModuleGetPostData {

struct RequestTemplate {
    QString postData;
    QString replyData;
    QString serverType; // the kind of service on the port, for the port's tool-tip
};

// The first template stored for the port and transport (after STARTTLS a
// service is asked otherwise than in the clear), its texts without leading
// and trailing spaces; none when there is no such template, its request is
// empty or the catalogue is not connected.
std::optional<RequestTemplate> LoadRequestTemplate(int port,
                                                   Transport transport = Transport::Plain);
// The same for a port as typed: none unless the text is a whole number.
std::optional<RequestTemplate> LoadRequestTemplate(const QString& port,
                                                   Transport transport = Transport::Plain);

} // namespace ModuleGetPostData
