#pragma once

#include <QString>

#include <functional>

struct Channel;
struct ChannelMessage;

// What became of one delivery: accepted by the channel's peer, or the reason
// it was not (in the interface language, never containing the secret).
struct SendOutcome {
    bool accepted = false;
    QString reason;
};

// Delivers one message through one channel without blocking: done runs once,
// later, from the event loop, also when the peer never answers (each send
// has its own time limit).
class ChannelSender {
public:
    using Done = std::function<void(const SendOutcome&)>;
    virtual ~ChannelSender() = default;
    virtual void send(const Channel& channel, const ChannelMessage& message, Done done) = 0;
};
