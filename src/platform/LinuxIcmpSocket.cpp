#include "platform/LinuxIcmpSocket.h"

#include "platform/IcmpPacket.h"

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QtEndian>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Messages read per notification at most, so a flood cannot hold the loop.
constexpr int MaxMessagesPerRead = 64;
// Room for any IPv4 packet a raw socket may hand over.
constexpr qsizetype ReceiveBufferSize = 65536;

QString errorText(const char* what, int error) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(error)));
}

sockaddr_in socketAddress(quint32 address) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = htonl(address);
    return result;
}

// Reads one message into buffer; the received length, or -1 with errno set.
ssize_t receive(int descriptor, QByteArray& buffer, sockaddr_in& from, char* control,
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

std::unique_ptr<LinuxIcmpSocket> LinuxIcmpSocket::open(Kind kind, QString* whyNot, int* error) {
    const int type =
        (kind == Kind::Datagram ? SOCK_DGRAM : SOCK_RAW) | SOCK_NONBLOCK | SOCK_CLOEXEC;
    const int descriptor = socket(AF_INET, type, IPPROTO_ICMP);
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
        setsockopt(descriptor, SOL_IP, IP_RECVERR, &on, sizeof on);
        setsockopt(descriptor, SOL_IP, IP_RECVTTL, &on, sizeof on);
        sockaddr_in local = socketAddress(INADDR_ANY);
        socklen_t length = sizeof local;
        if (bind(descriptor, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            if (error)
                *error = errno;
            if (whyNot)
                *whyNot = errorText("datagram ICMP socket bind", errno);
            close(descriptor);
            return nullptr;
        }
        identifier = ntohs(local.sin_port);
    } else {
        // A raw socket sees every ICMP packet of the host: only replies and
        // error reports are of interest.
        icmp_filter filter{};
        filter.data =
            ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) | (1U << ICMP_SOURCE_QUENCH) |
              (1U << ICMP_TIME_EXCEEDED) | (1U << ICMP_PARAMETERPROB));
        setsockopt(descriptor, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        identifier = static_cast<quint16>(QRandomGenerator::global()->bounded(1, 0x10000));
    }
    return std::unique_ptr<LinuxIcmpSocket>(new LinuxIcmpSocket(descriptor, kind, identifier));
}

std::unique_ptr<IcmpSocket> LinuxIcmpSocket::openAny(bool* permissionDenied) {
    int datagramError = 0;
    if (auto socket = open(Kind::Datagram, nullptr, &datagramError))
        return socket;
    int rawError = 0;
    auto socket = open(Kind::Raw, nullptr, &rawError);
    if (!socket && permissionDenied)
        *permissionDenied = isPermissionError(datagramError) && isPermissionError(rawError);
    return socket;
}

bool LinuxIcmpSocket::isPermissionError(int error) {
    // A group outside net.ipv4.ping_group_range gets EACCES, a raw socket
    // without CAP_NET_RAW EPERM.
    return error == EACCES || error == EPERM;
}

LinuxIcmpSocket::LinuxIcmpSocket(int descriptor, Kind kind, quint16 identifier)
    : m_descriptor(descriptor)
    , m_kind(kind)
    , m_identifier(identifier)
    , m_notifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this)) {
    connect(m_notifier, &QSocketNotifier::activated, this, &IcmpSocket::readyRead);
}

LinuxIcmpSocket::~LinuxIcmpSocket() {
    m_notifier->setEnabled(false);
    close(m_descriptor);
}

quint32 LinuxIcmpSocket::sendEcho(quint32 destination, quint16 sequence,
                                  const QByteArray& payload) {
    const QByteArray packet = IcmpPacket::echoRequest(m_identifier, sequence, payload);
    const sockaddr_in to = socketAddress(destination);
    const ssize_t sent =
        sendto(m_descriptor, packet.constData(), static_cast<size_t>(packet.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
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

void LinuxIcmpSocket::readErrorQueue(QList<IcmpMessage>& messages) {
    QByteArray buffer(ReceiveBufferSize, Qt::Uninitialized);
    alignas(cmsghdr) char control[512];
    for (int i = 0; i < MaxMessagesPerRead; ++i) {
        sockaddr_in destination{};
        msghdr header;
        const ssize_t length = receive(m_descriptor, buffer, destination, control, sizeof control,
                                       MSG_ERRQUEUE, header);
        if (length < 0)
            return;
        // The queued packet is our own echo request; the report rides in a
        // control message.
        const QByteArray request = buffer.left(length);
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
            if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR ||
                c->cmsg_len < CMSG_LEN(sizeof(sock_extended_err) + sizeof(sockaddr_in)))
                continue;
            sock_extended_err report;
            std::memcpy(&report, CMSG_DATA(c), sizeof report);
            std::optional<quint32> status;
            if (report.ee_origin == SO_EE_ORIGIN_ICMP)
                status = IcmpPacket::statusForIcmpError(report.ee_type, report.ee_code);
            else if (report.ee_origin == SO_EE_ORIGIN_LOCAL)
                status = IcmpPacket::statusForSendError(static_cast<int>(report.ee_errno));
            if (!status || request.size() < 8)
                continue;
            // The reporting host's address follows the report.
            sockaddr_in offender;
            std::memcpy(&offender, CMSG_DATA(c) + sizeof report, sizeof offender);
            IcmpMessage message;
            message.kind = IcmpMessage::Kind::Error;
            message.status = *status;
            message.source = offender.sin_family == AF_INET ? ntohl(offender.sin_addr.s_addr) : 0;
            message.destination = ntohl(destination.sin_addr.s_addr);
            message.identifier = qFromBigEndian<quint16>(request.constData() + 4);
            message.sequence = qFromBigEndian<quint16>(request.constData() + 6);
            messages.append(message);
        }
    }
}

void LinuxIcmpSocket::readDatagrams(QList<IcmpMessage>& messages) {
    QByteArray buffer(ReceiveBufferSize, Qt::Uninitialized);
    alignas(cmsghdr) char control[256];
    for (int i = 0; i < MaxMessagesPerRead; ++i) {
        sockaddr_in from{};
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
        if (m_kind == Kind::Raw) {
            message = IcmpPacket::readIpPacket(packet);
        } else {
            quint8 ttl = 0;
            for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
                if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_TTL) {
                    int value = 0;
                    std::memcpy(&value, CMSG_DATA(c), sizeof value);
                    ttl = static_cast<quint8>(value);
                }
            }
            message = IcmpPacket::readIcmp(packet, ntohl(from.sin_addr.s_addr), ttl);
        }
        if (message)
            messages.append(*message);
    }
}
