#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

class ServerRowModel;
class SocketElement;

// The socket elements of the result list, one per row and found by the row's
// key. A row's element is made when its first probe starts (until then it
// is closed, state 0, and there is nothing to make); elements are dropped
// together with their rows, and when a row is replaced, ending their
// connections without any event. The
// elements' events are passed on with the key of their row.
//
// A reload drops every element at once: they are closed and silenced at
// once, and deleted a batch per turn of the event loop, so that a list of
// thousands of rows never holds the loop for long.
//
// An element whose probe got its reply is released: it waits closed in a
// small pool until another row needs one, so a list of a hundred thousand
// rows holds elements only for probes that are running or ended in a fault.
class SocketArray final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketArray)
public:
    static constexpr int DeletedPerTurn = 256;
    static constexpr int PooledLimit = 256;

    explicit SocketArray(ServerRowModel& rows, QObject* parent = nullptr);
    ~SocketArray() override;

    // nullptr when the row is gone or its element was never needed.
    SocketElement* element(quint64 key) const;
    // The row's element, made now if need be; nullptr when the row is gone.
    SocketElement* elementFor(quint64 key);
    // Gives the row's closed element back; the row has none until its next probe.
    void release(quint64 key);
    int count() const { return static_cast<int>(m_elements.size()); }
    int pooled() const { return static_cast<int>(m_pool.size()); }
    int droppedAwaitingDeletion() const { return static_cast<int>(m_dropped.size()); }

signals:
    void Connected(quint64 key);
    void DataArrival(quint64 key, qint64 bytesTotal);
    void Error(quint64 key, int number, const QString& description);

private:
    void dropFor(int first, int last);
    void drop(SocketElement* element);
    void dropAll();
    void deleteBatch();

    ServerRowModel& m_rows;
    QHash<quint64, SocketElement*> m_elements;
    QList<SocketElement*> m_dropped; // closed and silent, deleted in batches
    QList<SocketElement*> m_pool;    // closed, waiting for a row
    QTimer m_deleter;
};
