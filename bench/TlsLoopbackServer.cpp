#include "TlsLoopbackServer.h"

#include "LoopbackSockets.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace {

struct Connection {
    SSL* ssl = nullptr;
    bool answered = false;
    std::string request;
};

// One thread's loop over its listeners and their connections.
void serve(SSL_CTX* context, std::vector<int> listeners) {
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    for (const int fd : listeners) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
    }
    std::unordered_map<int, Connection> connections;
    const auto drop = [&](int fd) {
        SSL_free(connections[fd].ssl);
        connections.erase(fd);
        epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
        close(fd);
    };
    const size_t replyLength = std::strlen(LoopbackServer::reply());
    std::vector<epoll_event> events(512);
    char buffer[4096];
    while (true) {
        const int count = epoll_wait(epoll, events.data(), static_cast<int>(events.size()), -1);
        for (int i = 0; i < count; ++i) {
            const int fd = events[static_cast<size_t>(i)].data.fd;
            if (std::find(listeners.begin(), listeners.end(), fd) != listeners.end()) {
                int client = -1;
                while ((client = accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >=
                       0) {
                    Connection& connection = connections[client];
                    connection.ssl = SSL_new(context);
                    SSL_set_fd(connection.ssl, client);
                    SSL_set_accept_state(connection.ssl);
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.fd = client;
                    epoll_ctl(epoll, EPOLL_CTL_ADD, client, &event);
                }
                continue;
            }
            Connection& connection = connections[fd];
            ERR_clear_error();
            if (!SSL_is_init_finished(connection.ssl)) {
                const int result = SSL_do_handshake(connection.ssl);
                const int error = SSL_get_error(connection.ssl, result);
                if (result != 1 && error != SSL_ERROR_WANT_READ) {
                    drop(fd);
                    continue;
                }
                if (result != 1)
                    continue;
            }
            // The request, then nothing until the client closes.
            size_t got = 0;
            int result = 0;
            while ((result = SSL_read_ex(connection.ssl, buffer, sizeof buffer, &got)) == 1) {
                if (!connection.answered)
                    connection.request.append(buffer, got);
            }
            if (!connection.answered && connection.request.find("\r\n\r\n") != std::string::npos) {
                size_t written = 0;
                SSL_write_ex(connection.ssl, LoopbackServer::reply(), replyLength, &written);
                connection.answered = true;
                connection.request.clear();
            }
            if (SSL_get_error(connection.ssl, result) != SSL_ERROR_WANT_READ)
                drop(fd);
        }
    }
}

} // namespace

TlsLoopbackServer::TlsLoopbackServer(const std::string& certificateChain, const std::string& key,
                                     int threads, int addressCount)
    : m_process(
          [&](const ServerProcess::Announce& announce) {
              SSL_CTX* context = SSL_CTX_new(TLS_server_method());
              if (!context ||
                  SSL_CTX_use_certificate_chain_file(context, certificateChain.c_str()) != 1 ||
                  SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM) != 1)
                  return false;
              SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
              for (int t = 0; t < threads; ++t) {
                  std::vector<int> listeners;
                  for (int a = 1; a <= addressCount; ++a) {
                      uint16_t port = 0;
                      const std::string address = "127.0.0." + std::to_string(a);
                      const int fd = listenOn(address, port);
                      if (fd < 0)
                          return false;
                      listeners.push_back(fd);
                      announce({address, port});
                  }
                  std::thread(serve, context, listeners).detach();
              }
              return true;
          },
          static_cast<size_t>(threads * addressCount)) {}
