#pragma once

#include <QString>
#include <optional>

// Request templates of the catalogue, looked up by port.
namespace ModuleGetPostData {

struct RequestTemplate {
    QString postData;
    QString replyData;
    QString serverType = {}; // name of the service on the port, shown as a tool tip
};

std::optional<RequestTemplate> LoadRequestTemplate(int port);

} // namespace ModuleGetPostData
