#pragma once

#include "platform/IcmpSocket.h"

#include <QString>

#include <memory>
#include <optional>

struct cmsghdr;
struct sockaddr_storage;

class QSocketNotifier;

// An ICMP or ICMPv6 echo socket of the Linux kernel: an unprivileged
// datagram socket (where net.ipv4.ping_group_range admits the user's group;
// it governs both families) or a raw socket (root or CAP_NET_RAW).
// Non-blocking; readyRead comes from a socket notifier.
class LinuxIcmpSocket final : public IcmpSocket {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinuxIcmpSocket)
public:
    enum class Kind { Datagram, Raw };
    enum class Family { IPv4, IPv6 };

    // Opens a socket of that kind and family; null when the system refuses
    // it, with the reason in whyNot and the errno value in error when given.
    static std::unique_ptr<LinuxIcmpSocket> open(Kind kind, Family family = Family::IPv4,
                                                 QString* whyNot = nullptr, int* error = nullptr);
    // A datagram socket where permitted, otherwise a raw one, otherwise null;
    // then permissionDenied tells whether both were refused for lack of
    // permission.
    static std::unique_ptr<IcmpSocket> openAny(Family family, bool* permissionDenied = nullptr);
    // Whether an errno value of open means the system does not permit it.
    static bool isPermissionError(int error);

    ~LinuxIcmpSocket() override;

    Kind kind() const { return m_kind; }
    quint16 identifier() const override { return m_identifier; }
    quint32 sendEcho(const QHostAddress& destination, quint16 sequence,
                     const QByteArray& payload) override;
    QList<IcmpMessage> readMessages() override;

private:
    LinuxIcmpSocket(int descriptor, Kind kind, Family family, quint16 identifier);
    std::optional<IcmpMessage> errorReport(const cmsghdr& control, const QByteArray& request,
                                           const sockaddr_storage& destination) const;
    void readErrorQueue(QList<IcmpMessage>& messages);
    void readDatagrams(QList<IcmpMessage>& messages);

    int m_descriptor;
    Kind m_kind;
    Family m_family;
    quint16 m_identifier;
    QSocketNotifier* m_notifier;
};
