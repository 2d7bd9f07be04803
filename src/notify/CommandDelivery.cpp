#include "notify/CommandDelivery.h"

#include "monitor/ServerAlerts.h"
#include "notify/Channel.h"
#include "notify/ChannelMessage.h"
#include "notify/WebhookTemplate.h"

#include <QDateTime>
#include <QJsonArray>

#include <csignal>
#include <unistd.h>
#include <utility>

CommandDelivery::CommandDelivery(int timeLimitMs, QObject* parent)
    : QObject(parent) {
    m_limit.setSingleShot(true);
    m_limit.setInterval(qMax(1, timeLimitMs));
    connect(&m_limit, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        killGroup();
    });
    connect(&m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                if (m_timedOut)
                    end({false, tr("超时")});
                else if (status != QProcess::NormalExit)
                    end({false, tr("命令异常结束")});
                else if (exitCode != 0)
                    end({false, tr("命令退出码%1").arg(exitCode)});
                else
                    end({true, {}});
            });
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            end({false, tr("命令无法启动:%1").arg(m_process.errorString())});
    });
}

CommandDelivery::~CommandDelivery() {
    m_done = nullptr;
    killGroup();
    m_process.waitForFinished(1000);
}

// The program leads a process group of its own, so what it started ends
// with it.
void CommandDelivery::killGroup() {
    const qint64 pid = m_process.processId();
    if (pid > 0 && ::kill(-pid_t(pid), SIGKILL) != 0)
        m_process.kill();
}

void CommandDelivery::start(const Channel& channel, const ChannelMessage& message,
                            ChannelSender::Done done) {
    m_done = std::move(done);
    QStringList arguments;
    for (const QJsonValue& argument : channel.settings.value(QStringLiteral("args")).toArray())
        arguments << argument.toString();
    m_process.setProgram(channel.settings.value(QStringLiteral("program")).toString());
    m_process.setArguments(arguments);
    m_process.setProcessEnvironment(environment(message, QProcessEnvironment::systemEnvironment()));
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
    m_limit.start();
    m_process.start();
}

// done runs from the event loop, not from within the process's signals or
// start(), and not at all once this object is gone.
void CommandDelivery::end(const SendOutcome& outcome) {
    m_limit.stop();
    ChannelSender::Done done = std::exchange(m_done, nullptr);
    if (done)
        QMetaObject::invokeMethod(
            this, [done = std::move(done), outcome] { done(outcome); }, Qt::QueuedConnection);
}

QProcessEnvironment CommandDelivery::environment(const ChannelMessage& message,
                                                 QProcessEnvironment base) {
    const AlertEvent& event = message.event;
    const auto set = [&base](const char* name, const QString& value) {
        base.insert(QLatin1String("SERVERMON_") + QLatin1String(name), value);
    };
    set("TITLE", message.title);
    set("MESSAGE", message.message);
    set("SERVER", event.serverName);
    set("SERVER_ID", event.server);
    set("ADDRESS", event.address);
    set("PORT", event.port);
    set("STATUS", event.status);
    set("STATE", WebhookTemplate::stateKey(message));
    set("TIME", event.timeUtcMs > 0 ? QDateTime::fromMSecsSinceEpoch(event.timeUtcMs)
                                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                    : QString());
    set("DURATION",
        event.durationMs >= 0 ? ServerAlerts::durationText(event.durationMs) : QString());
    set("DEDUP_KEY", message.dedupKey);
    return base;
}
