#pragma once

#include <QByteArray>
#include <QString>

struct ChannelMessage;

// The body of a webhook message. An empty template gives the default JSON
// object; otherwise the template's placeholders {title}, {message},
// {server}, {address}, {port}, {status}, {state}, {time} and {duration} are
// replaced by the message's facts, each JSON-escaped when the template is
// JSON (it opens an object with a quoted name, or an array), so a quote or line break in a server's
// name never breaks the body.
namespace WebhookTemplate {

QByteArray render(const QString& templateText, const ChannelMessage& message);
// "alert", "recovery" or "test" (a message with no server and no event time).
QString stateKey(const ChannelMessage& message);
// Whether templateText gives a valid JSON body for every message: empty when
// so (or when the template is not JSON), the reason otherwise.
QString jsonProblem(const QString& templateText);

} // namespace WebhookTemplate
