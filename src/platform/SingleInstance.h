#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One running copy per data folder. The first start holds an OS lock
// (flock) on a lock file in the folder and listens on a local socket named
// after it; a later start on the same folder finds the lock taken, asks the
// running copy to show its window and ends. The running copy answers what
// it is: a window copy shows its window, the headless service has none.
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

    // What this copy is, as it answers a later start.
    enum class Role { Window, Headless };
    // What became of a request to show the running copy's window.
    enum class Activation {
        Shown,       // the running copy shows its window
        Headless,    // the running copy is the headless service: no window to show
        Unreachable, // no running copy could be reached in time
    };

    explicit SingleInstance(const QString& lockFile, Role role = Role::Window,
                            QObject* parent = nullptr);
    // Releases the lock and removes the lock file.
    ~SingleInstance() override;

    Claim claim();
    // Why the last claim was Unavailable.
    QString errorString() const { return m_error; }
    QString lockFile() const { return m_lockFile; }

    // Asks the running copy to show its window, within timeoutMs. A copy
    // that takes the request without answering (an older version) counts as
    // shown.
    Activation activateRunning(int timeoutMs = 3000);

    // The local socket's name: one per lock file, so per data folder.
    QString serverName() const;

signals:
    // A later start asked this window copy to show its window.
    void activationRequested();

private:
    void onNewConnection();
    void writeOwner() const;

    QString m_lockFile;
    Role m_role;
    QString m_error;
    int m_descriptor = -1; // the locked lock file, -1 until claimed
    QLocalServer m_server;
};
