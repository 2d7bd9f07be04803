#pragma once

#include <QString>
#include <optional>

// Request templates of the catalogue, looked up by port.
namespace ModuleGetPostData {

struct RequestTemplate {
    QString postData;
    QString replyData;
};

std::optional<RequestTemplate> LoadRequestTemplate(int port);

} // namespace ModuleGetPostData
