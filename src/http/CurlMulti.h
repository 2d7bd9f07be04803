#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>

#include <curl/curl.h>

#include <functional>

class QSocketNotifier;

// libcurl's multi-socket interface on Qt's event loop: libcurl names the
// sockets it waits on and the time it next needs to act; an epoll set holds
// the sockets, one socket notifier watches the set, and one single-shot
// timer keeps libcurl's time, so the event loop polls one descriptor however
// many transfers run, and a turn costs what is ready, not what is open.
// Nothing here blocks: every transfer moves on from the event loop. A
// finished transfer is handed to the callback it was added with, after
// libcurl has returned, so that callback may remove or free any transfer.
class CurlMulti final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CurlMulti)
public:
    using Finished = std::function<void(CURLcode result)>;

    explicit CurlMulti(QObject* parent = nullptr);
    ~CurlMulti() override;

    // Starts the transfer of easy; finished runs once it has ended. The
    // handle stays the caller's and must stay added until finished or
    // removed.
    void add(CURL* easy, Finished finished);
    // Ends the transfer of easy without calling its callback.
    void remove(CURL* easy);
    int transfers() const { return int(m_finished.size()); }

private:
    static int socketCallback(CURL* easy, curl_socket_t socket, int what, void* self,
                              void* socketData);
    static int timerCallback(CURLM* multi, long timeoutMs, void* self);
    void watchSocket(curl_socket_t socket, int what);
    void socketsReady();
    void act(curl_socket_t socket, int events);
    void takeFinished();

    CURLM* m_multi = nullptr;
    int m_epoll = -1;
    QSocketNotifier* m_ready = nullptr;
    QTimer m_timer;
    QHash<CURL*, Finished> m_finished;
};
