#pragma once

#include "platform/EchoService.h"
#include "platform/HostResolver.h"
#include "platform/IcmpSocket.h"

#include <functional>
#include <memory>

// PingHost over an ICMP socket: one echo request carrying "My Request",
// answered within 200 ms or lost. Text of four numeric parts is the address
// AddressToNumber makes of it; any other text is looked up by name. Both
// waits run local event loops, so the window keeps working meanwhile, and an
// echo started during another one's wait runs on a socket of its own.
class IcmpEchoService final : public EchoService {
    Q_DISABLE_COPY_MOVE(IcmpEchoService)
public:
    // Opens an echo socket; on failure sets permissionDenied when the system
    // permits this program none.
    using SocketOpener = std::function<std::unique_ptr<IcmpSocket>(bool& permissionDenied)>;

    static constexpr int EchoWaitMs = 200;
    static constexpr int ResolveWaitMs = 2000;

    // Linux ICMP sockets and the system resolver.
    IcmpEchoService();
    IcmpEchoService(SocketOpener openSocket, std::unique_ptr<HostResolver> resolver);
    ~IcmpEchoService() override;

    long PingHost(const QString& address, EchoReply& reply) override;

private:
    std::optional<quint32> resolve(const QString& name);

    SocketOpener m_openSocket;
    std::unique_ptr<HostResolver> m_resolver;
    quint16 m_nextSequence = 1;
    // Lets a call that waited find out whether the service still exists.
    std::shared_ptr<const int> m_lifetime = std::make_shared<const int>(0);
};
