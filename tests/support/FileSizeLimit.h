#pragma once

#include <QtGlobal>

#include <csignal>
#include <sys/resource.h>

// For as long as it lives, files this process writes may not grow beyond a
// few bytes: a write past the limit fails with EFBIG as on a full disk
// (SIGXFSZ, which would end the process, is ignored meanwhile).
class FileSizeLimit final {
    Q_DISABLE_COPY_MOVE(FileSizeLimit)
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = SIG_DFL;
};
