#pragma once

#include "notify/ChannelSender.h"

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

struct Channel;
struct ChannelMessage;

// One delivery through a command channel: the program is started with its
// arguments and no shell, the event in its environment, nothing on its
// standard input and its output thrown away. It is accepted when the
// program exits with 0. At the time limit the program and whatever it
// started (its process group) are killed, and the delivery is not accepted.
class CommandDelivery final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CommandDelivery)
public:
    explicit CommandDelivery(int timeLimitMs, QObject* parent = nullptr);
    // Kills a program still running, without calling back.
    ~CommandDelivery() override;

    void start(const Channel& channel, const ChannelMessage& message, ChannelSender::Done done);

    // base with the message's SERVERMON_* variables: TITLE, MESSAGE, SERVER
    // (the name), SERVER_ID, ADDRESS, PORT, STATUS, STATE (alert, recovery
    // or test), TIME, DURATION and DEDUP_KEY.
    static QProcessEnvironment environment(const ChannelMessage& message, QProcessEnvironment base);

private:
    void killGroup();
    void end(const SendOutcome& outcome);

    QProcess m_process;
    QTimer m_limit;
    bool m_timedOut = false;
    ChannelSender::Done m_done;
};
