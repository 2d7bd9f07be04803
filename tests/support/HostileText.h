#pragma once

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

// Texts a hostile server, catalogue or settings file may hold, and the means
// to see that showing them loads nothing and takes no time.
namespace HostileText {

// Sanitizer builds (unoptimised) run several times slower; the bounds widen
// with them.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int Slowdown = 6;
#else
inline constexpr int Slowdown = 1;
#endif

// The longest a sink may work on one text, in milliseconds of this thread's
// processor time, so a busy machine cannot fail it; the unsafe rendering
// takes seconds.
inline constexpr double MaxMs = 50.0 * Slowdown;

// A named pipe nobody writes to: opening it to read blocks. A watcher
// notices an opener, lets it through (it then reads an empty file) and
// records that it came, so a test fails instead of hanging.
class Fifo {
public:
    Fifo()
        : m_path(m_dir.filePath(QStringLiteral("pipe"))) {
        ::mkfifo(QFile::encodeName(m_path).constData(), 0600);
        m_watcher = std::thread([this] {
            const QByteArray path = QFile::encodeName(m_path);
            while (!m_stop) {
                // Succeeds only while a reader has the pipe open.
                const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    m_opened = true;
                    ::close(fd);
                }
                ::usleep(2000);
            }
        });
    }
    ~Fifo() {
        m_stop = true;
        m_watcher.join();
    }
    Fifo(const Fifo&) = delete;
    Fifo& operator=(const Fifo&) = delete;

    QString path() const { return m_path; }
    bool opened() const { return m_opened; }

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_opened{false};
    std::thread m_watcher;
};

// The three texts that crashed, froze and hung Qt's rich text.
inline QStringList payloads(const Fifo& fifo) {
    return {QStringLiteral("<img src=\"/dev/zero\">"),
            QStringLiteral("<table><tr><td>").repeated(25) + QLatin1Char('x'),
            QStringLiteral("<img src=") + fifo.path() + QLatin1Char('>')};
}

// Reading /dev/zero as an image would take every byte of memory on the
// machine: a cap ends it as a failed allocation. Sanitizers reserve their
// own memory and are left alone.
inline void capMemory() {
#if !defined(__SANITIZE_ADDRESS__)
    const rlimit limit{4ull << 30, 4ull << 30};
    ::setrlimit(RLIMIT_DATA, &limit);
#endif
}

inline double threadMs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Processor time of this thread spent in work.
inline double cpuMsOf(const std::function<void()>& work) {
    const double start = threadMs();
    work();
    return threadMs() - start;
}

// While it lives, the longest stretch of processor time this thread spent
// between two turns of the event loop: how long the window could not react.
class StallWatch {
public:
    StallWatch()
        : m_last(threadMs()) {
        m_tick.setInterval(1);
        QObject::connect(&m_tick, &QTimer::timeout, [this] { turn(); });
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, &m_tick, [this] { turn(); });
        m_tick.start();
    }
    double longestMs() const { return m_longest; }

private:
    void turn() {
        const double now = threadMs();
        m_longest = qMax(m_longest, now - m_last);
        m_last = now;
    }
    QTimer m_tick;
    double m_last;
    double m_longest = 0;
};

// The text a tool-tip or label shows: Qt renders what looks like markup.
inline QString shown(const QString& text) {
    if (!Qt::mightBeRichText(text))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toRawText()
        .replace(QChar::Nbsp, QLatin1Char(' '))
        .replace(QChar::LineSeparator, QLatin1Char('\n'))
        .replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

} // namespace HostileText
