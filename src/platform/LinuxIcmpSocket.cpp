#include "platform/LinuxIcmpSocket.h"

#include "platform/IcmpPacket.h"
#include "platform/SocketAddress.h"

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QtEndian>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Messages read per notification at most, so a flood cannot hold the loop.
constexpr int MaxMessagesPerRead = 64;
// Room for any packet a raw socket may hand over.
constexpr qsizetype ReceiveBufferSize = 65536;

QString errorText(const char* what, int error) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(error)));
}

QHostAddress hostAddress(const sockaddr_storage& storage) {
    if (storage.ss_family == AF_INET)
        return QHostAddress(ntohl(reinterpret_cast<const sockaddr_in&>(storage).sin_addr.s_addr));
    if (storage.ss_family == AF_INET6)
        return QHostAddress(reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr.s6_addr);
    return {};
}

// Reads one message into buffer; the received length, or -1 with errno set.
ssize_t receive(int descriptor, QByteArray& buffer, sockaddr_storage& from, char* control,
                size_t controlSize, int flags, msghdr& header) {
    iovec vector{buffer.data(), static_cast<size_t>(buffer.size())};
    header = msghdr{};
    header.msg_name = &from;
    header.msg_namelen = sizeof from;
    header.msg_iov = &vector;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = controlSize;
    return recvmsg(descriptor, &header, flags | MSG_DONTWAIT);
}

} // namespace

std::unique_ptr<LinuxIcmpSocket> LinuxIcmpSocket::open(Kind kind, Family family, QString* whyNot,
                                                       int* error) {
    const bool v6 = family == Family::IPv6;
    const int type =
        (kind == Kind::Datagram ? SOCK_DGRAM : SOCK_RAW) | SOCK_NONBLOCK | SOCK_CLOEXEC;
    const int protocol = v6 ? int{IPPROTO_ICMPV6} : int{IPPROTO_ICMP};
    const int descriptor = socket(v6 ? AF_INET6 : AF_INET, type, protocol);
    if (descriptor < 0) {
        if (error)
            *error = errno;
        if (whyNot)
            *whyNot = errorText(kind == Kind::Datagram ? "datagram ICMP socket" : "raw ICMP socket",
                                errno);
        return nullptr;
    }
    const int on = 1;
    quint16 identifier = 0;
    if (kind == Kind::Datagram) {
        // The kernel owns the identifier: it is the port bound here.
        if (v6) {
            setsockopt(descriptor, SOL_IPV6, IPV6_RECVERR, &on, sizeof on);
            setsockopt(descriptor, SOL_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
        } else {
            setsockopt(descriptor, SOL_IP, IP_RECVERR, &on, sizeof on);
            setsockopt(descriptor, SOL_IP, IP_RECVTTL, &on, sizeof on);
        }
        sockaddr_storage local{};
        local.ss_family = v6 ? AF_INET6 : AF_INET;
        socklen_t length = v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (bind(descriptor, reinterpret_cast<sockaddr*>(&local), length) != 0 ||
            getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            if (error)
                *error = errno;
            if (whyNot)
                *whyNot = errorText("datagram ICMP socket bind", errno);
            close(descriptor);
            return nullptr;
        }
        identifier = ntohs(v6 ? reinterpret_cast<sockaddr_in6&>(local).sin6_port
                              : reinterpret_cast<sockaddr_in&>(local).sin_port);
    } else {
        // A raw socket sees every ICMP packet of the host: only replies and
        // error reports are of interest.
        if (v6) {
            icmp6_filter filter;
            ICMP6_FILTER_SETBLOCKALL(&filter);
            for (const int pass : {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG,
                                   ICMP6_TIME_EXCEEDED, ICMP6_PARAM_PROB})
                ICMP6_FILTER_SETPASS(pass, &filter);
            setsockopt(descriptor, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
            setsockopt(descriptor, SOL_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof on);
        } else {
            icmp_filter filter{};
            filter.data =
                ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) | (1U << ICMP_SOURCE_QUENCH) |
                  (1U << ICMP_TIME_EXCEEDED) | (1U << ICMP_PARAMETERPROB));
            setsockopt(descriptor, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        }
        identifier = static_cast<quint16>(QRandomGenerator::global()->bounded(1, 0x10000));
    }
    return std::unique_ptr<LinuxIcmpSocket>(
        new LinuxIcmpSocket(descriptor, kind, family, identifier));
}

std::unique_ptr<IcmpSocket> LinuxIcmpSocket::openAny(Family family, bool* permissionDenied) {
    int datagramError = 0;
    if (auto socket = open(Kind::Datagram, family, nullptr, &datagramError))
        return socket;
    int rawError = 0;
    auto socket = open(Kind::Raw, family, nullptr, &rawError);
    if (!socket && permissionDenied)
        *permissionDenied = isPermissionError(datagramError) && isPermissionError(rawError);
    return socket;
}

bool LinuxIcmpSocket::isPermissionError(int error) {
    // A group outside net.ipv4.ping_group_range gets EACCES, a raw socket
    // without CAP_NET_RAW EPERM.
    return error == EACCES || error == EPERM;
}

LinuxIcmpSocket::LinuxIcmpSocket(int descriptor, Kind kind, Family family, quint16 identifier)
    : m_descriptor(descriptor)
    , m_kind(kind)
    , m_family(family)
    , m_identifier(identifier)
    , m_notifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this)) {
    connect(m_notifier, &QSocketNotifier::activated, this, &IcmpSocket::readyRead);
}

LinuxIcmpSocket::~LinuxIcmpSocket() {
    m_notifier->setEnabled(false);
    close(m_descriptor);
}

quint32 LinuxIcmpSocket::sendEcho(const QHostAddress& destination, quint16 sequence,
                                  const QByteArray& payload) {
    sockaddr_storage to{};
    socklen_t length = 0;
    const bool v6 = m_family == Family::IPv6;
    if (!toSocketAddress(destination, 0, to, length) || (to.ss_family == AF_INET6) != v6)
        return IcmpStatus::BadDestination;
    const QByteArray packet = v6 ? IcmpPacket::echoRequest6(m_identifier, sequence, payload)
                                 : IcmpPacket::echoRequest(m_identifier, sequence, payload);
    const ssize_t sent =
        sendto(m_descriptor, packet.constData(), static_cast<size_t>(packet.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), length);
    if (sent == packet.size())
        return IcmpStatus::Success;
    return IcmpPacket::statusForSendError(sent < 0 ? errno : EMSGSIZE);
}

QList<IcmpMessage> LinuxIcmpSocket::readMessages() {
    QList<IcmpMessage> messages;
    if (m_kind == Kind::Datagram)
        readErrorQueue(messages);
    readDatagrams(messages);
    return messages;
}

// The error report a control message of the error queue carries about the
// queued request, sent to destination.
std::optional<IcmpMessage> LinuxIcmpSocket::errorReport(const cmsghdr& control,
                                                        const QByteArray& request,
                                                        const sockaddr_storage& destination) const {
    const bool v6 = m_family == Family::IPv6;
    const size_t offenderSize = v6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (control.cmsg_level != (v6 ? SOL_IPV6 : SOL_IP) ||
        control.cmsg_type != (v6 ? IPV6_RECVERR : IP_RECVERR) ||
        control.cmsg_len < CMSG_LEN(sizeof(sock_extended_err) + offenderSize) || request.size() < 8)
        return std::nullopt;
    sock_extended_err report;
    std::memcpy(&report, CMSG_DATA(&control), sizeof report);
    std::optional<quint32> status;
    if (report.ee_origin == SO_EE_ORIGIN_ICMP && !v6)
        status = IcmpPacket::statusForIcmpError(report.ee_type, report.ee_code);
    else if (report.ee_origin == SO_EE_ORIGIN_ICMP6 && v6)
        status = IcmpPacket::statusForIcmp6Error(report.ee_type, report.ee_code);
    else if (report.ee_origin == SO_EE_ORIGIN_LOCAL)
        status = IcmpPacket::statusForSendError(static_cast<int>(report.ee_errno));
    if (!status)
        return std::nullopt;
    // The reporting host's address follows the report.
    sockaddr_storage offender{};
    std::memcpy(&offender, CMSG_DATA(&control) + sizeof report, offenderSize);
    IcmpMessage message;
    message.kind = IcmpMessage::Kind::Error;
    message.status = *status;
    message.source = hostAddress(offender);
    message.destination = hostAddress(destination);
    message.identifier = qFromBigEndian<quint16>(request.constData() + 4);
    message.sequence = qFromBigEndian<quint16>(request.constData() + 6);
    return message;
}

void LinuxIcmpSocket::readErrorQueue(QList<IcmpMessage>& messages) {
    QByteArray buffer(ReceiveBufferSize, Qt::Uninitialized);
    alignas(cmsghdr) char control[512];
    for (int i = 0; i < MaxMessagesPerRead; ++i) {
        sockaddr_storage destination{};
        msghdr header;
        const ssize_t length = receive(m_descriptor, buffer, destination, control, sizeof control,
                                       MSG_ERRQUEUE, header);
        if (length < 0)
            return;
        // The queued packet is our own echo request; the report rides in a
        // control message.
        const QByteArray request = buffer.left(length);
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
            if (std::optional<IcmpMessage> message = errorReport(*c, request, destination))
                messages.append(*message);
        }
    }
}

void LinuxIcmpSocket::readDatagrams(QList<IcmpMessage>& messages) {
    QByteArray buffer(ReceiveBufferSize, Qt::Uninitialized);
    alignas(cmsghdr) char control[256];
    const bool v6 = m_family == Family::IPv6;
    for (int i = 0; i < MaxMessagesPerRead; ++i) {
        sockaddr_storage from{};
        msghdr header;
        const ssize_t length =
            receive(m_descriptor, buffer, from, control, sizeof control, 0, header);
        if (length < 0) {
            const int error = errno;
            if (error == EAGAIN || error == EWOULDBLOCK || m_kind == Kind::Raw)
                return;
            // With IP_RECVERR a pending error fails one read; its details
            // wait on the error queue.
            readErrorQueue(messages);
            continue;
        }
        const QByteArray packet = buffer.left(length);
        std::optional<IcmpMessage> message;
        if (m_kind == Kind::Raw && !v6) {
            message = IcmpPacket::readIpPacket(packet);
        } else {
            // The kernel hands ICMPv6 over without its IP header; the hop
            // limit, like the datagram socket's ttl, rides in a control message.
            int ttl = 0;
            for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
                if ((c->cmsg_level == SOL_IP && c->cmsg_type == IP_TTL) ||
                    (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_HOPLIMIT))
                    std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            }
            const QHostAddress source = hostAddress(from);
            message = v6 ? IcmpPacket::readIcmp6(packet, source, static_cast<quint8>(ttl))
                         : IcmpPacket::readIcmp(packet, source, static_cast<quint8>(ttl));
        }
        if (message)
            messages.append(*message);
    }
}
