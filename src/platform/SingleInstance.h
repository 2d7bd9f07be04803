#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One running copy per data folder. The first start holds an OS lock
// (flock) on a lock file in the folder and listens on a local socket named
// after it; a later start on the same folder finds the lock taken, asks the
// running copy to show its window and ends.
//
// The kernel drops the lock when its holder ends, however it ends, so
// whatever a lock file holds (a copy that died, another machine's copy on a
// shared stick, another user's copy) never blocks a start by itself: only a
// live holder does. The holder writes its process ID, program and host name
// into the file for the reader's information and removes the file when it
// ends normally.
class SingleInstance final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)
public:
    enum class Claim {
        Claimed,        // this process is the running copy
        AlreadyRunning, // another live process holds the folder
        Unavailable,    // the lock cannot be made or taken: errorString() says why
    };

    explicit SingleInstance(const QString& lockFile, QObject* parent = nullptr);
    // Releases the lock and removes the lock file.
    ~SingleInstance() override;

    Claim claim();
    // Why the last claim was Unavailable.
    QString errorString() const { return m_error; }
    QString lockFile() const { return m_lockFile; }

    // Asks the running copy to show its window; false when it could not be
    // reached within timeoutMs.
    bool activateRunning(int timeoutMs = 3000);

    // The local socket's name: one per lock file, so per data folder.
    QString serverName() const;

signals:
    // A later start asked this copy to show its window.
    void activationRequested();

private:
    void onNewConnection();
    void writeOwner() const;

    QString m_lockFile;
    QString m_error;
    int m_descriptor = -1; // the locked lock file, -1 until claimed
    QLocalServer m_server;
};
