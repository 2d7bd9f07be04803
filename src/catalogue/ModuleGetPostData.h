#pragma once

#include <QString>
#include <optional>

// Request templates of the catalogue, looked up by port.
namespace ModuleGetPostData {

struct RequestTemplate {
    QString postData;
    QString replyData;
    QString serverType; // the kind of service on the port, for the port's tool-tip
};

// The first template stored for the port, its texts without leading and
// trailing spaces; none when the port has no template, its request is empty
// or the catalogue is not connected.
std::optional<RequestTemplate> LoadRequestTemplate(int port);
// The same for a port as typed: none unless the text is a whole number.
std::optional<RequestTemplate> LoadRequestTemplate(const QString& port);

} // namespace ModuleGetPostData
