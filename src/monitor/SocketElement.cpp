#include "monitor/SocketElement.h"

#include "monitor/HostText.h"
#include "monitor/SecuredTurnBudget.h"
#include "platform/SocketAddress.h"
#include "tls/CertificateFacts.h"
#include "tls/TlsContext.h"
#include "tls/TlsLink.h"

#include <QHostInfo>
#include <QPointer>
#include <QSocketNotifier>

#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

QStringList SocketStateNames() {
    static const char* const names[] = {QT_TRANSLATE_NOOP("SocketElement", "关闭"),
                                        QT_TRANSLATE_NOOP("SocketElement", "打开"),
                                        QT_TRANSLATE_NOOP("SocketElement", "监听"),
                                        QT_TRANSLATE_NOOP("SocketElement", "连接未定"),
                                        QT_TRANSLATE_NOOP("SocketElement", "解析主机"),
                                        QT_TRANSLATE_NOOP("SocketElement", "决定主机"),
                                        QT_TRANSLATE_NOOP("SocketElement", "正在连接"),
                                        QT_TRANSLATE_NOOP("SocketElement", "已连接"),
                                        QT_TRANSLATE_NOOP("SocketElement", "已关闭"),
                                        QT_TRANSLATE_NOOP("SocketElement", "错误")};
    QStringList translated;
    for (const char* name : names)
        translated.append(SocketElement::tr(name));
    return translated;
}

namespace {

bool wouldBlock(int number) {
    return number == EAGAIN || number == EWOULDBLOCK;
}

// What a secured element receives at once, and how often per turn of the
// event loop.
constexpr qsizetype SecuredChunk = 16 * 1024;
constexpr int SecuredChunksPerTurn = 64;

} // namespace

struct SocketElement::Secured {
    TlsOptions options;
    std::shared_ptr<TlsContext> context;
    std::unique_ptr<TlsLink> link; // from the made connection until it ends
    QByteArray unsent;             // plaintext given before the connection was made
    TlsFault fault;
    std::optional<CertificateFacts> facts; // kept from an ended link
    qint64 handshakeUs = 0;
};

SocketElement::SocketElement(quint64 key, QObject* parent)
    : QObject(parent)
    , m_key(key) {}

SocketElement::~SocketElement() {
    Close();
}

bool SocketElement::Connect(const QString& remoteHost, int remotePort, QString* error) {
    m_remoteHost = remoteHost;
    m_remotePort = remotePort;
    if (remotePort < 0 || remotePort > 65535) {
        if (error)
            *error = tr("Invalid port number: %1").arg(remotePort);
        return false;
    }
    Close();
    // An outcome found during the call is delivered after it, like every other.
    m_inCall = true;
    QHostAddress literal;
    if (literal.setAddress(HostText(remoteHost))) {
        m_addresses = {literal};
        connectNext();
    } else {
        m_phase = Phase::Resolving;
        m_lookupId = QHostInfo::lookupHost(remoteHost, this,
                                           [this, attempt = m_attempt](const QHostInfo& info) {
                                               if (attempt == m_attempt)
                                                   hostFound(info);
                                           });
    }
    m_inCall = false;
    return true;
}

void SocketElement::hostFound(const QHostInfo& info) {
    m_lookupId = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        fail(ENXIO);
        return;
    }
    m_addresses = info.addresses();
    connectNext();
}

// Connects to the first usable address still to try; an address that fails
// at once gives way to the next.
void SocketElement::connectNext() {
    int number = EAFNOSUPPORT;
    while (!m_addresses.isEmpty()) {
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (!toSocketAddress(m_addresses.takeFirst(), quint16(m_remotePort), storage, length))
            continue;
        m_fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            number = errno; // out of descriptors: the next address fares no better
            break;
        }
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&storage), length) == 0 ||
            errno == EINPROGRESS) {
            // Even a connection made at once is reported from the write
            // notifier. The read notifier starts watching now as well, so a
            // made connection switches on no further notifier.
            m_phase = Phase::Connecting;
            watch(m_write, QSocketNotifier::Write, &SocketElement::writable);
            watch(m_read, QSocketNotifier::Read, &SocketElement::readable);
            return;
        }
        number = errno;
        release();
    }
    fail(number);
}

void SocketElement::watch(QSocketNotifier*& notifier, int type, void (SocketElement::*handler)()) {
    if (!notifier) {
        notifier = new QSocketNotifier(static_cast<QSocketNotifier::Type>(type), this);
        connect(notifier, &QSocketNotifier::activated, this, handler);
    }
    notifier->setSocket(m_fd);
    notifier->setEnabled(true);
}

void SocketElement::Close() {
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    release();
    m_addresses.clear();
    m_phase = Phase::Closed;
    ++m_attempt;
    if (m_secured) {
        m_secured->unsent = QByteArray();
        m_secured->fault = {};
        m_secured->facts.reset();
        m_secured->handshakeUs = 0;
    }
}

void SocketElement::setTransport(const TlsOptions& options, std::shared_ptr<TlsContext> context) {
    Close();
    if (options.isPlain()) {
        m_secured.reset();
        return;
    }
    if (!m_secured)
        m_secured = std::make_unique<Secured>();
    m_secured->options = options;
    m_secured->context = std::move(context);
}

TlsFault SocketElement::tlsFault() const {
    return m_secured ? m_secured->fault : TlsFault();
}

const CertificateFacts* SocketElement::certificateFacts() const {
    if (!m_secured)
        return nullptr;
    const std::optional<CertificateFacts>& facts =
        m_secured->link ? m_secured->link->facts() : m_secured->facts;
    return facts ? &*facts : nullptr;
}

qint64 SocketElement::tlsHandshakeUs() const {
    if (!m_secured)
        return 0;
    return m_secured->link ? m_secured->link->handshakeUs() : m_secured->handshakeUs;
}

// Gives the descriptor back; the notifiers stop watching it first, as it
// may be handed out again at once.
void SocketElement::release() {
    // Notifiers watch only while there is a descriptor.
    if (m_fd >= 0) {
        for (QSocketNotifier* notifier : {m_read, m_write, m_exception}) {
            if (notifier)
                notifier->setEnabled(false);
        }
        ::close(m_fd);
        m_fd = -1;
    }
    m_pending = QByteArray();
    m_pendingSent = 0;
    dropLink();
}

// The link ends with its connection; what the handshake found stays until
// the element is closed.
void SocketElement::dropLink() {
    if (!m_secured || !m_secured->link)
        return;
    if (m_secured->link->facts()) {
        m_secured->facts = m_secured->link->facts();
        m_secured->handshakeUs = m_secured->link->handshakeUs();
    }
    m_secured->link.reset();
}

void SocketElement::fail(int number) {
    fail(number, errorDescription(number));
}

void SocketElement::fail(int number, const QString& description) {
    release();
    m_phase = Phase::Failed;
    if (!m_inCall) {
        emit Error(m_key, number, description);
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, attempt = m_attempt, number, description] {
            if (attempt == m_attempt)
                emit Error(m_key, number, description);
        },
        Qt::QueuedConnection);
}

int SocketElement::State() const {
    switch (m_phase) {
    case Phase::Closed:
        return 0;
    case Phase::Resolving:
        return 4;
    case Phase::Connecting:
    case Phase::Securing:
        return 6;
    case Phase::Connected:
        return 7;
    case Phase::PeerClosed:
        return 8;
    case Phase::Failed:
        return 9;
    }
    return 0;
}

void SocketElement::writable() {
    if (m_fd < 0 || (m_secured && m_phase == Phase::Connecting &&
                     !admitSecuredStep(m_write, &SocketElement::writable)))
        return;
    if (m_phase != Phase::Connecting) {
        flush();
        return;
    }
    int number = 0;
    socklen_t length = sizeof number;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &number, &length) != 0)
        number = errno;
    if (number != 0) {
        release();
        // A refused or unreachable address gives way to the next one; a
        // connection the peer took and then reset is never made again.
        if (number != ECONNRESET && !m_addresses.isEmpty())
            connectNext();
        else
            fail(number);
        return;
    }
    m_addresses.clear();
    if (m_secured) {
        startSecuring();
        return;
    }
    m_phase = Phase::Connected;
    if (m_pendingSent == m_pending.size())
        m_write->setEnabled(false);
    const QPointer<SocketElement> self(this);
    emit Connected(m_key);
    if (self && m_phase == Phase::Connected && m_pendingSent < m_pending.size())
        flush();
}

void SocketElement::readable() {
    // Until the connection is made, its outcome is the write notifier's.
    if (m_fd < 0 || m_phase == Phase::Connecting)
        return;
    if (m_secured) {
        if (m_phase != Phase::Securing || admitSecuredStep(m_read, &SocketElement::readable))
            pumpSecured();
        return;
    }
    if (const qint64 waiting = bytesAvailable(); waiting > 0) {
        m_readSinceArrival = false;
        const QPointer<SocketElement> self(this);
        emit DataArrival(m_key, waiting);
        // Like the control it stands for, the element reports new data only
        // after the last arrival was fetched; meanwhile the exception
        // notifier alone watches for a broken connection.
        if (self && m_fd >= 0 && !m_readSinceArrival) {
            m_read->setEnabled(false);
            watch(m_exception, QSocketNotifier::Exception, &SocketElement::exceptional);
        }
        return;
    }
    char byte = 0;
    const ssize_t peeked = ::recv(m_fd, &byte, 1, MSG_PEEK);
    if (peeked == 0) {
        // An orderly close by the peer is no error.
        m_phase = Phase::PeerClosed;
        m_read->setEnabled(false);
    } else if (peeked < 0 && !wouldBlock(errno) && errno != EINTR) {
        fail(errno);
    }
}

// Watches while the read notifier waits for the last arrival to be fetched.
// Urgent data raises it as well as a broken connection; urgent data is not
// part of the reply, so it is no longer watched.
void SocketElement::exceptional() {
    if (m_fd < 0)
        return;
    int number = 0;
    socklen_t length = sizeof number;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &number, &length) != 0)
        number = errno;
    if (number != 0)
        fail(number);
    else
        m_exception->setEnabled(false);
}

qint64 SocketElement::bytesAvailable() const {
    if (m_secured)
        return m_secured->link ? m_secured->link->plaintextSize() : 0;
    int waiting = 0;
    return m_fd >= 0 && ::ioctl(m_fd, FIONREAD, &waiting) == 0 ? waiting : 0;
}

void SocketElement::SendData(const QByteArray& bytes) {
    if (bytes.isEmpty() || m_phase == Phase::Closed || m_phase == Phase::Failed)
        return;
    if (m_secured) {
        if (!m_secured->link) {
            m_secured->unsent.append(bytes);
            return;
        }
        m_secured->link->write(bytes);
        m_inCall = true;
        sendSecured();
        if (m_fd >= 0 && m_secured->link->state() == TlsLink::State::Failed)
            failSecured();
        m_inCall = false;
        return;
    }
    m_pending.append(bytes);
    if (m_phase == Phase::Connected || m_phase == Phase::PeerClosed) {
        m_inCall = true;
        flush();
        m_inCall = false;
    }
}

void SocketElement::flush() {
    while (m_pendingSent < m_pending.size()) {
        const ssize_t sent = ::send(m_fd, m_pending.constData() + m_pendingSent,
                                    size_t(m_pending.size() - m_pendingSent), MSG_NOSIGNAL);
        if (sent > 0) {
            m_pendingSent += sent;
        } else if (sent < 0 && wouldBlock(errno)) {
            m_write->setEnabled(true);
            return;
        } else if (sent < 0 && errno != EINTR) {
            fail(errno);
            return;
        }
    }
    m_pending = QByteArray();
    m_pendingSent = 0;
    m_write->setEnabled(false);
}

QByteArray SocketElement::GetData() {
    if (m_fd < 0)
        return {};
    m_readSinceArrival = true;
    QByteArray bytes;
    if (m_secured) {
        if (TlsLink* link = m_secured->link.get()) {
            bytes = link->takePlaintext();
            // Plaintext the link still held is not announced by the socket.
            if (link->plaintextSize() > 0)
                QMetaObject::invokeMethod(
                    this,
                    [this, attempt = m_attempt] {
                        if (attempt == m_attempt && m_secured && m_secured->link)
                            pumpSecured();
                    },
                    Qt::QueuedConnection);
        }
    } else if (const qint64 waiting = bytesAvailable(); waiting > 0) {
        bytes.resize(qMin<qint64>(waiting, ReadLimit));
        const ssize_t got = ::recv(m_fd, bytes.data(), size_t(bytes.size()), 0);
        bytes.resize(got > 0 ? got : 0);
    }
    if (m_phase == Phase::Connected && !m_read->isEnabled()) {
        if (m_exception)
            m_exception->setEnabled(false);
        m_read->setEnabled(true);
    }
    return bytes;
}

// The handshake's steps share each turn of the event loop with the rest of
// it: a step over the turn's budget waits in line, its notifier off, and
// runs in a later turn if its connection is still the same.
bool SocketElement::admitSecuredStep(QSocketNotifier* notifier, void (SocketElement::*step)()) {
    const bool admitted =
        SecuredTurnBudget::ofThisThread().admit(this, [this, notifier, step, attempt = m_attempt] {
            if (attempt != m_attempt || m_fd < 0)
                return;
            notifier->setEnabled(true);
            (this->*step)();
        });
    if (!admitted)
        notifier->setEnabled(false);
    return admitted;
}

void SocketElement::startSecuring() {
    m_phase = Phase::Securing;
    m_write->setEnabled(false); // until the link has something to send
    m_secured->link = std::make_unique<TlsLink>(m_secured->options, HostText(m_remoteHost),
                                                m_secured->context, ReadLimit);
    if (!m_secured->unsent.isEmpty())
        m_secured->link->write(std::exchange(m_secured->unsent, QByteArray()));
    m_secured->link->start();
    pumpSecured();
}

// Feeds the link what the socket holds, sends what the link hands out and
// raises the events its state calls for. Reading stops at the first
// plaintext, which is reported before anything that follows it.
void SocketElement::pumpSecured() {
    TlsLink* link = m_secured->link.get();
    char chunk[SecuredChunk];
    for (int turn = 0;
         turn < SecuredChunksPerTurn && link->wantsInput() && link->plaintextSize() == 0; ++turn) {
        const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (got > 0) {
            link->receive(QByteArrayView(chunk, got));
        } else if (got == 0) {
            link->receiveEnd();
            break;
        } else if (wouldBlock(errno)) {
            break;
        } else if (errno != EINTR) {
            fail(errno);
            return;
        }
    }
    sendSecured();
    if (m_fd < 0)
        return;
    switch (link->state()) {
    case TlsLink::State::Negotiating:
        return;
    case TlsLink::State::Failed:
        failSecured();
        return;
    case TlsLink::State::Established:
    case TlsLink::State::Closed:
        break;
    }
    if (m_phase == Phase::Securing) {
        m_phase = Phase::Connected;
        const QPointer<SocketElement> self(this);
        const quint64 attempt = m_attempt;
        emit Connected(m_key);
        if (!self || attempt != m_attempt || m_fd < 0)
            return;
    }
    reportPlaintext();
}

void SocketElement::failSecured() {
    m_secured->fault = m_secured->link->fault();
    fail(EPROTO, m_secured->fault.reason);
}

// Sends what the link has encrypted or the exchange has to say.
void SocketElement::sendSecured() {
    const QByteArray bytes = m_secured->link->takeOutgoing();
    if (bytes.isEmpty())
        return;
    m_pending.append(bytes);
    flush();
}

// Like plaintext data, new plaintext is reported only after the last
// arrival was fetched.
void SocketElement::reportPlaintext() {
    TlsLink& link = *m_secured->link;
    if (link.plaintextSize() > 0) {
        m_readSinceArrival = false;
        const QPointer<SocketElement> self(this);
        emit DataArrival(m_key, link.plaintextSize());
        if (self && m_fd >= 0 && !m_readSinceArrival) {
            m_read->setEnabled(false);
            watch(m_exception, QSocketNotifier::Exception, &SocketElement::exceptional);
        }
        return;
    }
    if (link.state() == TlsLink::State::Closed) {
        // An orderly close by the peer is no error.
        m_phase = Phase::PeerClosed;
        m_read->setEnabled(false);
    }
}

QString SocketElement::errorDescription(int number) {
    switch (number) {
    case ECONNREFUSED:
        return tr("连接被拒绝");
    case ECONNRESET:
    case EPIPE: // a send after the peer reset the connection
        return tr("连接被对方重置");
    case ETIMEDOUT:
        return tr("连接超时");
    case EHOSTUNREACH:
        return tr("主机不可达");
    case ENETUNREACH:
        return tr("网络不可达");
    case ENXIO:
        return tr("找不到主机");
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return tr("系统资源不足");
    case EACCES:
    case EPERM:
        return tr("没有权限");
    case EADDRNOTAVAIL:
        return tr("地址不可用");
    case EAFNOSUPPORT:
        return tr("不支持的地址类型");
    default:
        return tr("网络错误(%1)").arg(number);
    }
}
