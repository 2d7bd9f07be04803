#include "DebianPackage.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <unistd.h>

namespace {
// Runs a program to its end within timeoutMs; whether it exited with 0.
bool succeeds(const QString& program, const QStringList& arguments, int timeoutMs,
              const QString& folder = {}) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
} // namespace

DebianPackage::DebianPackage(const QString& name, const QString& cacheDir) {
    const QString deb = fetched(name, cacheDir);
    if (deb.isEmpty())
        return;
    if (!m_root.isValid())
        m_error = QStringLiteral("no temporary folder to unpack %1 into").arg(name);
    else if (!succeeds(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, m_root.path()},
                       60000))
        m_error = QStringLiteral("dpkg-deb could not unpack %1").arg(deb);
}

QString DebianPackage::fetched(const QString& name, const QString& cacheDir) {
    QDir cache(cacheDir);
    const QStringList pattern{name + QStringLiteral("_*.deb")};
    if (const QStringList found = cache.entryList(pattern, QDir::Files); !found.isEmpty())
        return cache.filePath(found.front());
    if (!cache.mkpath(QStringLiteral("."))) {
        m_error = QStringLiteral("cannot make the cache folder %1").arg(cacheDir);
        return {};
    }
    const bool root = geteuid() == 0;
    const QString aptCache = QStringLiteral("apt-cache");
    if (!succeeds(aptCache, {QStringLiteral("show"), name}, 60000) && root)
        succeeds(QStringLiteral("apt-get"), {QStringLiteral("update"), QStringLiteral("-qq")},
                 300000);
    QStringList download{QStringLiteral("download"), QStringLiteral("-qq")};
    // As root apt would fetch as its own user, who cannot write the cache.
    if (root)
        download << QStringLiteral("-o") << QStringLiteral("APT::Sandbox::User=root");
    download << name;
    if (!succeeds(QStringLiteral("apt-get"), download, 300000, cache.path())) {
        m_error = QStringLiteral("apt-get download %1 failed").arg(name);
        return {};
    }
    const QStringList found = cache.entryList(pattern, QDir::Files);
    if (found.isEmpty()) {
        m_error = QStringLiteral("apt-get download %1 left no package").arg(name);
        return {};
    }
    return cache.filePath(found.front());
}

QString DebianPackage::file(const QString& path) const {
    if (!m_error.isEmpty())
        return {};
    const QString unpacked = m_root.filePath(path);
    return QFileInfo(unpacked).isFile() ? unpacked : QString();
}
