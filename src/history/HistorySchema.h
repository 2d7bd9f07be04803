#pragma once

#include <QSqlError>
#include <QString>
#include <QVariantList>

// The history file behind a named connection: opening it, creating its
// tables in a new file, checking the schema version (the file's
// user_version) and bringing a file of an older version up to this one in
// place. A file of a newer version, one that is not a history file, and one
// that SQLite finds damaged (its quick check fails) is set aside under a
// timestamped name, never overwritten, and a new file is made in its place.
// A file that another connection holds, or that may not be written, is
// only reported: nothing about it says it is damaged.
//
// Version 2: raw results carry an id that only grows (the aggregation's
// watermark in meta follows it), a mark for results taken during
// maintenance, which no figure counts, and the TLS handshake time;
// aggregates count the maintenance results they left out.
class HistorySchema final {
    Q_DISABLE_COPY_MOVE(HistorySchema)
public:
    static constexpr int Version = 2;

    explicit HistorySchema(const QString& connectionName);

    // Opens the file, creating it with its tables when missing. False when
    // it cannot be opened or created; message() then says why. A file set
    // aside leaves a message too.
    bool open(const QString& path);
    // Opens an existing file of this version for reading only, as the
    // history window reads it: nothing is created, migrated or renamed, and
    // a file held by a writer is waited for only briefly. False when it
    // cannot be read; isBusy() or message() then say why.
    bool openForReading(const QString& path);
    void close();
    QString message() const { return m_message; }
    // The last open failed because another connection held the file.
    bool isBusy() const { return m_busy; }

    // The entry of the meta table that holds the id of the last raw result
    // folded into the aggregates.
    static QString aggregatedIdKey();
    // The entry of the meta table that holds the time from which every raw
    // result is still kept (the aggregates hold the time before it).
    static QString rawFromKey();

private:
    // What the file behind the connection holds.
    struct Finding {
        enum Kind { History, Empty, Newer, Foreign, Damaged, Failed } kind = Failed;
        int version = 0;
        QSqlError error; // why the file could not be read (Failed)
    };

    bool openFile(const QString& path);
    // With check, a history is also checked page by page.
    Finding inspect(bool check) const;
    bool create();
    bool migrate();
    bool setAside(const QString& path, const QString& why);
    // Runs sql with values bound in order; a failure's error stays in m_error.
    bool exec(const QString& sql, const QVariantList& values = {});

    QString m_connection;
    QString m_message;
    QSqlError m_error;
    bool m_busy = false;
};
