#include "ServerProcess.h"

#include "BenchFigures.h"

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

ServerProcess::ServerProcess(const std::function<bool(const Announce& announce)>& serve,
                             size_t expected) {
    int ports[2];
    int lifeline[2];
    if (pipe2(ports, O_CLOEXEC) != 0 || pipe2(lifeline, O_CLOEXEC) != 0)
        return;
    m_child = fork();
    if (m_child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close(ports[0]);
        close(lifeline[1]);
        signal(SIGPIPE, SIG_IGN);
        // The client's thread is what is measured: the server yields the CPU
        // to it rather than preempt it in the middle of a turn.
        [[maybe_unused]] const int niceness = nice(19);
        const bool serving = serve([&](const LoopbackServer::Endpoint& endpoint) {
            const std::string line = endpoint.address + " " + std::to_string(endpoint.port) + "\n";
            [[maybe_unused]] const auto written = write(ports[1], line.data(), line.size());
        });
        if (!serving)
            _exit(1);
        close(ports[1]);
        char byte = 0;
        while (read(lifeline[0], &byte, 1) > 0) {
        }
        _exit(0);
    }
    close(ports[1]);
    close(lifeline[0]);
    m_lifeline = lifeline[1];
    std::string text;
    char buffer[256];
    ssize_t got = 0;
    while ((got = read(ports[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    close(ports[0]);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        const size_t blank = line.find(' ');
        if (blank != std::string::npos)
            m_endpoints.push_back(
                {line.substr(0, blank), static_cast<uint16_t>(std::stoi(line.substr(blank + 1)))});
        start = end == std::string::npos ? text.size() : end + 1;
    }
    if (m_endpoints.size() != expected)
        m_endpoints.clear();
}

double ServerProcess::cpuMicros() const {
    return processCpuMicros(m_child);
}

ServerProcess::~ServerProcess() {
    if (m_lifeline >= 0)
        close(m_lifeline);
    if (m_child > 0)
        waitpid(m_child, nullptr, 0);
}
