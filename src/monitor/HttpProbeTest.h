#pragma once

#include "http/HttpResult.h"
#include "monitor/HttpCheck.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class CurlMulti;
class HttpExchange;

// One HTTP(S) check of a server outside the pass, for the details window:
// the row's request, its reply judged as the list judges it, all within the
// time-out. Its outcome reads as the list's Status would; it keeps what the
// exchange brought back for the window to show (status line, headers, the
// start of the body, redirects, the phases, the certificate's facts).
// Nothing is stored. Starting it again ends the one under way without an
// outcome.
class HttpProbeTest final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpProbeTest)
public:
    // The body shown at most.
    static constexpr qsizetype ShownBodyBytes = 16 * 1024;

    struct Target {
        HttpCheck check;
        QString body; // the request body, sent with POST and PUT
        QString expected;
        bool ignoreErrors = false;
    };

    explicit HttpProbeTest(QObject* parent = nullptr);
    ~HttpProbeTest() override;

    // caFile: certificates trusted besides the system's; empty: none.
    void start(const Target& target, qint32 timeOutMs, const QString& caFile);
    bool isRunning() const;

    // The Status text of the outcome.
    QString status() const { return m_status; }
    const HttpResult& result() const;
    // What the window shows of the reply: the outcome, the time and its
    // phases, the redirects followed, the status line and headers, and the
    // start of the body (at most ShownBodyBytes, noted when cut).
    QStringList report() const;
    // "HTTP[URL] 状态:" and how far the test is, for the state label.
    QString stateText() const;

signals:
    void finished();

private:
    void exchangeEnded();
    void finish(const QString& status);

    std::unique_ptr<CurlMulti> m_multi;
    std::unique_ptr<HttpExchange> m_exchange;
    Target m_target;
    QString m_status;
    bool m_sent = false;
};
