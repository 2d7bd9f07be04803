#pragma once

#include <QString>
#include <QTemporaryDir>

// A Debian package fetched with apt-get once per cache folder and unpacked
// with dpkg-deb into a temporary folder that lives as long as the object;
// never installed.
class DebianPackage final {
    Q_DISABLE_COPY_MOVE(DebianPackage)
public:
    DebianPackage(const QString& name, const QString& cacheDir);

    // The unpacked file at path inside the package (usr/bin/...), empty when
    // the package could not be fetched or unpacked or holds no such file.
    QString file(const QString& path) const;
    // Why the package is not there; empty when it is.
    const QString& error() const { return m_error; }

private:
    QString fetched(const QString& name, const QString& cacheDir);

    QTemporaryDir m_root;
    QString m_error;
};
