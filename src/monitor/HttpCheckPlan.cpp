#include "monitor/HttpCheckPlan.h"

#include "http/HttpHeaderLines.h"
#include "http/HttpMethod.h"
#include "http/HttpResult.h"
#include "http/HttpUrl.h"
#include "monitor/HttpCheck.h"
#include "monitor/TcpProbe.h"

#include <QUrl>

HttpCheckPlan::HttpCheckPlan(HttpRequest request, HttpStatusCodes codes,
                             std::optional<JsonCondition> condition)
    : m_request(std::move(request))
    , m_codes(std::move(codes))
    , m_condition(std::move(condition)) {}

std::optional<HttpCheckPlan> HttpCheckPlan::of(const HttpCheck& check, const QString& body,
                                               QString* reason) {
    const QString url = check.url.trimmed();
    if (!HttpUrl::parse(url, reason))
        return std::nullopt;
    const std::optional<QString> method = HttpMethod::parse(check.method.trimmed());
    if (!method) {
        if (reason)
            *reason = tr("请求方法无效:%1").arg(check.method);
        return std::nullopt;
    }
    const std::optional<QList<QByteArray>> headers = HttpHeaderLines::parse(check.headers, reason);
    if (!headers)
        return std::nullopt;
    std::optional<HttpStatusCodes> codes = HttpStatusCodes::parse(check.status, reason);
    if (!codes)
        return std::nullopt;
    std::optional<JsonCondition> condition;
    if (!check.jsonCondition.trimmed().isEmpty()) {
        condition = JsonCondition::parse(check.jsonCondition, reason);
        if (!condition)
            return std::nullopt;
    }
    HttpRequest request;
    request.url = QUrl(url).toEncoded();
    request.method = *method;
    request.headers = *headers;
    request.body = body.toUtf8();
    request.followRedirects = check.redirects;
    return HttpCheckPlan(std::move(request), std::move(*codes), std::move(condition));
}

HttpCheckPlan::Verdict HttpCheckPlan::judge(const HttpResult& result,
                                            const QString& expected) const {
    if (result.failure == HttpResult::Failure::TooManyRedirects)
        return {false, tr("重定向次数过多")};
    if (!m_codes.accepts(result.statusCode))
        return {false, tr("状态码不符:%1").arg(result.statusCode)};
    if (!expected.isEmpty() && !TcpProbe::replyMatches(result.bodyText(), expected))
        return {false, tr("未找到期望文本")};
    if (m_condition) {
        const JsonCondition::Verdict verdict = m_condition->evaluate(result.body);
        if (!verdict.holds)
            return {false, tr("JSON条件不成立:") + verdict.detail};
    }
    return {true, {}};
}
