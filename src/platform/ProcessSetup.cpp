#include "platform/ProcessSetup.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ProcessSetup {
namespace {

void onBrokenPipe(int) {}

} // namespace

void openMissingStandardStreams() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() takes the lowest free descriptor: this one.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != descriptor) {
            ::dup2(opened, descriptor);
            ::close(opened);
        }
    }
}

void survivePipeReadersGoingAway() {
    struct sigaction action = {};
    action.sa_handler = onBrokenPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &action, nullptr);
}

void keepNewFilesPrivate() {
    ::umask(S_IRWXG | S_IRWXO);
}

void prepare() {
    openMissingStandardStreams();
    survivePipeReadersGoingAway();
    keepNewFilesPrivate();
}

} // namespace ProcessSetup
