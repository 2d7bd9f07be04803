#pragma once

#include <QHash>
#include <QObject>

class ServerRowModel;
class SocketElement;

// The socket elements of the result list, one per row and found by the row's
// key. Elements are created and dropped together with the rows; a dropped
// element ends its connection without any event. The elements' events are
// passed on with the key of their row.
class SocketArray final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketArray)
public:
    explicit SocketArray(ServerRowModel& rows, QObject* parent = nullptr);
    ~SocketArray() override;

    SocketElement* element(quint64 key) const; // nullptr when the row is gone
    int count() const { return static_cast<int>(m_elements.size()); }

signals:
    void Connected(quint64 key);
    void DataArrival(quint64 key, qint64 bytesTotal);
    void Error(quint64 key, int number, const QString& description);

private:
    void createFor(int first, int last);
    void dropFor(int first, int last);
    void create(quint64 key);
    void drop(quint64 key);
    void dropAll();

    ServerRowModel& m_rows;
    QHash<quint64, SocketElement*> m_elements;
};
