#include "platform/WholeFile.h"

#include <QSaveFile>

#include <cerrno>
#include <unistd.h>

namespace WholeFile {

bool write(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    QString reason;
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
    } else if (file.write(bytes) != bytes.size() || !file.flush()) {
        // QSaveFile buffers small writes, and commit() does not check the
        // flush that sends them: a full disk would replace the file with a
        // cut-off one. The flush is checked here, before anything is replaced.
        reason = file.errorString();
    } else if (::fsync(file.handle()) != 0) {
        // Some file systems report a full disk only when the data is synced.
        reason = qt_error_string(errno);
    } else if (file.commit()) {
        return true;
    } else {
        reason = file.errorString();
    }
    // An uncommitted file goes with its temporary copy; the target is untouched.
    file.cancelWriting();
    if (error)
        *error = reason;
    return false;
}

} // namespace WholeFile
