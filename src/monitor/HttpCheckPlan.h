#pragma once

#include "http/HttpRequest.h"
#include "http/HttpStatusCodes.h"
#include "http/JsonCondition.h"

#include <QCoreApplication>
#include <QString>

#include <optional>

struct HttpCheck;
struct HttpResult;

// An HTTP row's check made ready for its exchanges: the request to send and
// the rules its reply is judged by (the accepted status codes, the expected
// text, the JSON condition). Made once per exchange from the row's texts, so
// an edit takes effect at the next pass.
class HttpCheckPlan final {
    Q_DECLARE_TR_FUNCTIONS(HttpCheckPlan)
public:
    struct Verdict {
        bool correct = false;
        QString status; // the Status text of a wrong reply
    };

    // The plan of check with body as the request body (UTF-8, sent with
    // POST and PUT); nothing and the reason when a part is unusable.
    static std::optional<HttpCheckPlan> of(const HttpCheck& check, const QString& body,
                                           QString* reason = nullptr);

    const HttpRequest& request() const { return m_request; }
    HttpRequest& request() { return m_request; }
    // The judgement of a reply that came (redirects reached their limit
    // included): its status code first, then the expected text anywhere in
    // the decoded body without regard to case (empty: any body), then the
    // JSON condition.
    Verdict judge(const HttpResult& result, const QString& expected) const;

private:
    HttpCheckPlan(HttpRequest request, HttpStatusCodes codes,
                  std::optional<JsonCondition> condition);

    HttpRequest m_request;
    HttpStatusCodes m_codes;
    std::optional<JsonCondition> m_condition;
};
