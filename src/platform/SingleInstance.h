#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

// One running copy per data folder. The first start holds a lock file in
// the folder and listens on a local socket named after it; a later start on
// the same folder finds the lock taken, asks the running copy to show its
// window and ends.
class SingleInstance final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)
public:
    enum class Claim {
        Claimed,        // this process is the running copy
        AlreadyRunning, // another process holds the folder
        Unavailable,    // the lock cannot be made (a read-only folder): run unguarded
    };

    explicit SingleInstance(const QString& lockFile, QObject* parent = nullptr);
    ~SingleInstance() override;

    Claim claim();
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

    QString m_lockFile;
    QLockFile m_lock;
    QLocalServer m_server;
};
