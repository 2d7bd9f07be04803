#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>

#include <functional>

class Clock;
class ServerRowModel;

// Silencing single servers: a silenced server is still probed and shown, but
// its alerts reach nobody. A silence lasts an hour or until the server's next
// recovery. It is kept in the catalogue through the store, so it outlives a
// reload and a restart; the loaded rows carry it for their marks.
class ServerSilence final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerSilence)
public:
    enum class Kind { ForHour, UntilRecovery, Off };
    // Who ends or sets a silence: the operator, or the server's recovery
    // ending a silence until then (a change the program makes by itself).
    enum class Origin { Operator, Recovery };
    // Stores a server's ServerRecord::silencedUntil; empty on success, the
    // failure report otherwise.
    using Store = std::function<QString(qint64 id, qint64 silencedUntil, Origin origin)>;
    using NoticeActions = QList<QPair<QString, QString>>; // key, caption
    static constexpr qint64 HourMs = 3600 * 1000;

    ServerSilence(ServerRowModel& rows, Clock& clock, Store store, QObject* parent = nullptr);

    static QString caption(Kind kind);

    // Silences the server with that catalogue ID, or ends its silence, in the
    // catalogue and in its loaded row. The row takes the new state even when
    // the catalogue cannot: the report says so.
    QString apply(qint64 id, Kind kind);
    bool isSilenced(int row) const;
    // The row's server has recovered: a silence until then ends. Whether
    // there was one.
    bool endAtRecovery(int row);
    // Silences whose hour has passed end, and their marks go: before each
    // pass, after each load and once a minute.
    void expire();

    // The choices an alert's desktop notice offers, and choosing one for
    // the server the notice is about (its catalogue ID as text).
    static NoticeActions noticeActions();
    QString applyNoticeAction(const QString& server, const QString& key);

private:
    int rowOfId(qint64 id) const;
    QString store(qint64 id, qint64 until, Origin origin);

    ServerRowModel& m_rows;
    Clock& m_clock;
    Store m_store;
    QTimer m_expiry;
};
