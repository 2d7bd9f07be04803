#include "TlsFloor.h"

#include "BenchFigures.h"
#include "LoopbackSockets.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Exchanges under way at once at most, as in the poll() floor.
constexpr size_t MaxOpen = 256;

enum class Step { Connecting, Handshake, Reply };

struct Exchange {
    SSL* ssl = nullptr;
    Step step = Step::Connecting;
};

} // namespace

TlsFloor::TlsFloor(const std::string& caFile, std::string serverName)
    : m_context(SSL_CTX_new(TLS_client_method()))
    , m_serverName(std::move(serverName)) {
    SSL_CTX_set_verify(m_context, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_session_cache_mode(m_context, SSL_SESS_CACHE_OFF);
    SSL_CTX_load_verify_dir(m_context, X509_get_default_cert_dir());
    SSL_CTX_load_verify_file(m_context, caFile.c_str());
}

TlsFloor::~TlsFloor() {
    SSL_CTX_free(m_context);
}

double TlsFloor::cpuMicros(const std::vector<LoopbackServer::Endpoint>& rows,
                           const std::string& request, const std::string& expected) {
    const double started = processCpuMicros();
    std::vector<pollfd> fds;
    std::vector<Exchange> exchanges;
    size_t next = 0;
    size_t done = 0;
    bool allPassed = true;
    char buffer[4096];
    const auto open = [&](size_t slot) {
        const LoopbackServer::Endpoint& row = rows[next++];
        const int fd = connectTo(row.address, row.port);
        SSL* ssl = SSL_new(m_context);
        SSL_set_fd(ssl, fd);
        // SSL_set_tlsext_host_name, without the macro's cast.
        SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char*>(m_serverName.c_str()));
        SSL_set1_host(ssl, m_serverName.c_str());
        SSL_set_connect_state(ssl);
        fds[slot] = {fd, POLLOUT, 0};
        exchanges[slot] = {ssl, Step::Connecting};
    };
    const auto finish = [&](size_t slot, bool passed) {
        SSL_free(exchanges[slot].ssl);
        close(fds[slot].fd);
        fds[slot].fd = -1;
        allPassed = allPassed && passed;
        ++done;
    };
    while (done < rows.size()) {
        for (size_t i = 0; i < fds.size() && next < rows.size(); ++i) {
            if (fds[i].fd < 0)
                open(i);
        }
        while (fds.size() < MaxOpen && next < rows.size()) {
            fds.emplace_back();
            exchanges.emplace_back();
            open(fds.size() - 1);
        }
        if (poll(fds.data(), fds.size(), 30000) <= 0)
            return -1;
        for (size_t i = 0; i < fds.size(); ++i) {
            pollfd& entry = fds[i];
            if (entry.fd < 0 || entry.revents == 0)
                continue;
            Exchange& exchange = exchanges[i];
            if (exchange.step == Step::Connecting)
                exchange.step = Step::Handshake;
            if (exchange.step == Step::Handshake) {
                const int result = SSL_do_handshake(exchange.ssl);
                if (result != 1) {
                    const int error = SSL_get_error(exchange.ssl, result);
                    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
                        entry.events = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
                    else
                        finish(i, false);
                    continue;
                }
                size_t written = 0;
                if (SSL_get_verify_result(exchange.ssl) != X509_V_OK ||
                    SSL_write_ex(exchange.ssl, request.data(), request.size(), &written) != 1) {
                    finish(i, false);
                    continue;
                }
                exchange.step = Step::Reply;
                entry.events = POLLIN;
                continue;
            }
            size_t got = 0;
            if (SSL_read_ex(exchange.ssl, buffer, sizeof buffer, &got) == 1) {
                finish(i, std::string(buffer, got).find(expected) != std::string::npos);
                continue;
            }
            // Session tickets come before the reply and are no reply.
            const int error = SSL_get_error(exchange.ssl, 0);
            if (error != SSL_ERROR_WANT_READ)
                finish(i, false);
        }
    }
    const double used = processCpuMicros() - started;
    return allPassed ? used : -1;
}
