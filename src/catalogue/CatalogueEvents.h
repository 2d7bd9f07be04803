#pragma once

#include <QList>
#include <QObject>

// What the catalogue tells the rest of the program when it lives in a shared
// database: which servers other copies changed, and when it went offline or
// came back. Lives on the main thread; ModuleDB::events() hands it out.
class CatalogueEvents final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CatalogueEvents)
public:
    using QObject::QObject;

    // How many times the servers were announced changed since the start.
    qint64 reloads() const { return m_reloads; }
    void announceServers(const QList<qint64>& ids);

signals:
    // The servers of these IDs changed, appeared or went; empty when every
    // server should be read again (after a reconnect, or a change too large
    // to list).
    void serversChanged(const QList<qint64>& ids);
    // DbStateText() changed.
    void stateChanged();
    // DbIsSender() changed.
    void senderChanged();

private:
    qint64 m_reloads = 0;
};
