#pragma once

#include "monitor/ServerRowModel.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>

#include <array>
#include <optional>

class MetricsCollector;

// One build of the collector's text in pieces, so that the text of a large
// list is written a slice of rows per turn of the event loop. The servers
// are those loaded when the build starts, each labelled as it was then and
// found again by its row key as each family reaches it; a server whose row
// is gone by then (the list reloaded, the row removed) is left out of the
// families still to come, and rows loaded meanwhile wait for the next
// build. So a build over a list that changes under it is still valid text:
// no series twice, none cut in half. Values are read as each row is written.
class MetricsTextBuild final {
    Q_DISABLE_COPY_MOVE(MetricsTextBuild)
public:
    explicit MetricsTextBuild(const MetricsCollector& collector);

    // Appends what follows of the text until out holds at least pieceBytes
    // or the deadline has passed; true once the text is complete.
    bool fill(QByteArray& out, qsizetype pieceBytes, const QDeadlineTimer& deadline);

    // Families with samples only while some loaded server has the facts.
    enum class Group { Always, Dependent, Http, Secured, Count };

private:
    struct Server {
        ServerRowModel::RowKey key = 0;
        qint64 id = 0;
        qint32 labelsBlock = 0;
        qint32 labelsAt = 0;
        qint32 labelsSize = -1; // -1 once the row is gone
    };

    // The server's row now; -1 when it is gone.
    int rowOf(Server& server);
    void labelServer(Server& server);
    bool present(Group group);

    const MetricsCollector& m_collector;
    const ServerRowModel& m_rows;
    QList<Server> m_servers;
    // Each server's labels without the closing brace, one after the other
    // in blocks of about LabelBlockBytes, so a large list never moves them.
    static constexpr qsizetype LabelBlockBytes = 64 * 1024;
    QList<QByteArray> m_labels;
    std::array<std::optional<bool>, static_cast<std::size_t>(Group::Count)> m_present;
    int m_step = 0;       // where the build is in the sequence of steps
    qsizetype m_next = 0; // the next server of a per-server step
    bool m_begun = false; // the step's family head is written
    int m_rowHint = 0;    // where the next server's row probably is
};
