#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int PipeEnds[2] = {-1, -1};
constexpr int Handled[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(PipeEnds[1], &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent) {
    if (::pipe2(PipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(PipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : Handled)
        sigaction(number, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (!m_notifier)
        return;
    for (const int number : Handled)
        std::signal(number, SIG_DFL);
    delete m_notifier;
    ::close(PipeEnds[0]);
    ::close(PipeEnds[1]);
    PipeEnds[0] = PipeEnds[1] = -1;
}

void TerminationSignals::onReadable() {
    unsigned char byte = 0;
    while (::read(PipeEnds[0], &byte, 1) == 1)
        emit received(byte);
}
