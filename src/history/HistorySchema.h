#pragma once

#include <QString>

// The history file behind a named connection: opening it, creating its
// tables in a new file, and checking the schema version (the file's
// user_version). A file of a newer version, or one that is not a history
// file, is set aside under a timestamped name, never overwritten, and a new
// file is made in its place.
class HistorySchema final {
    Q_DISABLE_COPY_MOVE(HistorySchema)
public:
    static constexpr int Version = 1;

    explicit HistorySchema(const QString& connectionName);

    // Opens the file, creating it with its tables when missing. False when
    // it cannot be opened or created; message() then says why. A file set
    // aside leaves a message too.
    bool open(const QString& path);
    void close();
    QString message() const { return m_message; }

    // The entry of the meta table that holds where aggregation has reached.
    static QString aggregatedUntilKey();

private:
    bool openFile(const QString& path);
    bool usable(int& version);
    bool create();
    bool setAside(const QString& path, const QString& why);
    bool exec(const QString& sql);

    QString m_connection;
    QString m_message;
};
