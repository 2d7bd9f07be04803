#pragma once

#include "service/MetricsTextBuild.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <memory>

class Clock;
class MetricsCollector;

// Builds the collector's text for the metrics server in pieces, one piece
// per turn of the event loop, so a scrape of a large list never holds the
// loop for long. Builds start at most once per MinIntervalMs, so however
// often the metrics are asked for, building them takes a bounded share of
// the thread. The server reports the bytes it has written out; while more
// than QueueLimit bytes wait in it (slow readers), building pauses, so the
// text is never held whole anywhere.
class MetricsStream final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsStream)
public:
    static constexpr qint64 MinIntervalMs = 1000;
    static constexpr int SliceMs = 10;
    static constexpr qsizetype PieceBytes = 256 * 1024;
    static constexpr qint64 QueueLimit = 4 * 1024 * 1024;

    MetricsStream(const MetricsCollector& collector, const Clock& clock, QObject* parent = nullptr);
    ~MetricsStream() override;

    // A scrape waits: a build starts as soon as the last one is
    // MinIntervalMs old. Nothing more while a build is due or running.
    void request();
    // Of all pieces so far, the server has written out that many bytes.
    void written(qint64 bytes);

signals:
    // The next piece of the text; the build is complete with the last.
    void piece(const QByteArray& piece, bool last);

private:
    void start();
    void step();

    const MetricsCollector& m_collector;
    const Clock& m_clock;
    std::unique_ptr<MetricsTextBuild> m_build;
    QTimer m_startTimer;
    QTimer m_stepTimer;
    qint64 m_startedMs = 0;
    bool m_started = false;
    qint64 m_sent = 0;    // bytes of all pieces handed over
    qint64 m_written = 0; // of them, written out by the server
};
