#include "http/CurlMulti.h"

#include "http/CurlLibrary.h"

#include <QPointer>
#include <QSocketNotifier>

#include <limits>

#include <sys/epoll.h>
#include <unistd.h>

namespace {

// The sockets handled per wake-up of the notifier; more wake it again.
constexpr int ReadyPerTurn = 64;

} // namespace

CurlMulti::CurlMulti(QObject* parent)
    : QObject(parent) {
    CurlLibrary::initialize();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlMulti::socketCallback);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlMulti::timerCallback);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_ready = new QSocketNotifier(m_epoll, QSocketNotifier::Read, this);
    connect(m_ready, &QSocketNotifier::activated, this, &CurlMulti::socketsReady);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

// libcurl is told of no socket any more while it closes what is left.
CurlMulti::~CurlMulti() {
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, nullptr);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, nullptr);
    for (auto easy = m_finished.keyBegin(); easy != m_finished.keyEnd(); ++easy)
        curl_multi_remove_handle(m_multi, *easy);
    curl_multi_cleanup(m_multi);
    delete m_ready;
    close(m_epoll);
}

void CurlMulti::add(CURL* easy, Finished finished) {
    m_finished.insert(easy, std::move(finished));
    curl_multi_add_handle(m_multi, easy);
}

void CurlMulti::remove(CURL* easy) {
    if (m_finished.remove(easy))
        curl_multi_remove_handle(m_multi, easy);
}

int CurlMulti::socketCallback(CURL*, curl_socket_t socket, int what, void* self, void*) {
    static_cast<CurlMulti*>(self)->watchSocket(socket, what);
    return 0;
}

int CurlMulti::timerCallback(CURLM*, long timeoutMs, void* self) {
    QTimer& timer = static_cast<CurlMulti*>(self)->m_timer;
    if (timeoutMs < 0)
        timer.stop();
    else
        timer.start(int(qMin<long>(timeoutMs, std::numeric_limits<int>::max())));
    return 0;
}

// libcurl says what it waits for before it closes a socket, so the set
// never holds a closed descriptor.
void CurlMulti::watchSocket(curl_socket_t socket, int what) {
    if (what == CURL_POLL_REMOVE) {
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, socket, nullptr);
        return;
    }
    epoll_event event{};
    event.events = (what == CURL_POLL_IN || what == CURL_POLL_INOUT ? EPOLLIN : 0u) |
                   (what == CURL_POLL_OUT || what == CURL_POLL_INOUT ? EPOLLOUT : 0u);
    event.data.fd = socket;
    if (epoll_ctl(m_epoll, EPOLL_CTL_MOD, socket, &event) != 0)
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, socket, &event);
}

// A hang-up or an error is reported to libcurl as readable, where it reads
// the end or the error.
void CurlMulti::socketsReady() {
    epoll_event events[ReadyPerTurn];
    const int count = epoll_wait(m_epoll, events, ReadyPerTurn, 0);
    const QPointer<CurlMulti> self(this);
    for (int i = 0; i < count && self; ++i) {
        const uint32_t ready = events[i].events;
        const int mask = (ready & (EPOLLIN | EPOLLHUP | EPOLLERR) ? CURL_CSELECT_IN : 0) |
                         (ready & EPOLLOUT ? CURL_CSELECT_OUT : 0);
        act(events[i].data.fd, mask);
    }
}

void CurlMulti::act(curl_socket_t socket, int events) {
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    takeFinished();
}

// A finished transfer leaves the multi handle before its callback runs;
// the callback may free this object too.
void CurlMulti::takeFinished() {
    const QPointer<CurlMulti> self(this);
    int queued = 0;
    while (self) {
        CURLMsg* message = curl_multi_info_read(m_multi, &queued);
        if (!message)
            break;
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL* easy = message->easy_handle;
        const CURLcode result = message->data.result;
        curl_multi_remove_handle(m_multi, easy);
        if (const Finished finished = m_finished.take(easy))
            finished(result);
    }
}
