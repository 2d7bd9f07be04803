#include "http/CurlMulti.h"

#include "http/CurlLibrary.h"

#include <QPointer>
#include <QSocketNotifier>

#include <limits>

CurlMulti::CurlMulti(QObject* parent)
    : QObject(parent) {
    CurlLibrary::initialize();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlMulti::socketCallback);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlMulti::timerCallback);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

// The notifiers are this object's children and go with it; libcurl is told
// of no socket any more while it closes what is left.
CurlMulti::~CurlMulti() {
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, nullptr);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, nullptr);
    for (auto easy = m_finished.keyBegin(); easy != m_finished.keyEnd(); ++easy)
        curl_multi_remove_handle(m_multi, *easy);
    curl_multi_cleanup(m_multi);
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

// A socket libcurl no longer waits on may be closed and its number reused
// at once, so its notifiers are switched off now; they are freed later, as
// one of them may be the notifier whose signal is being handled.
void CurlMulti::watchSocket(curl_socket_t socket, int what) {
    if (what == CURL_POLL_REMOVE) {
        const Watch watch = m_watches.take(socket);
        for (QSocketNotifier* notifier : {watch.read, watch.write}) {
            if (notifier) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
        }
        return;
    }
    const bool read = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool write = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    const Watch watch = m_watches.value(socket);
    if (read || watch.read)
        notifier(socket, QSocketNotifier::Read)->setEnabled(read);
    if (write || watch.write)
        notifier(socket, QSocketNotifier::Write)->setEnabled(write);
}

QSocketNotifier* CurlMulti::notifier(curl_socket_t socket, int type) {
    Watch& watch = m_watches[socket];
    const bool reading = type == QSocketNotifier::Read;
    QSocketNotifier*& notifier = reading ? watch.read : watch.write;
    if (!notifier) {
        notifier = new QSocketNotifier(socket, QSocketNotifier::Type(type), this);
        const int events = reading ? CURL_CSELECT_IN : CURL_CSELECT_OUT;
        connect(notifier, &QSocketNotifier::activated, this,
                [this, socket, events] { act(socket, events); });
    }
    return notifier;
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
