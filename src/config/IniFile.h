#pragma once

#include <QList>
#include <QString>

#include <optional>

// A small INI file with private-profile semantics: sections and keys match
// without regard to case, a write replaces only its own entry and keeps every
// other line (comments, unknown keys, order, line endings) byte for byte, and
// the file, section and key are created as needed. Lines end with LF, CR LF
// or a lone CR; an added line ends like the line before it. Values are returned
// trimmed and written as given. The file is UTF-8 and is read anew on every
// call; nothing is cached and no handle stays open.
//
// Writes go to a temporary file beside the target that is then renamed over
// it (WholeFile), so an interrupted write or a full disk never leaves a
// truncated file. A file that
// exists but cannot be read, or is no regular file, is never overwritten.
class IniFile final {
public:
    struct Entry {
        QString section;
        QString key;
        QString value;
    };

    explicit IniFile(QString path);

    const QString& path() const { return m_path; }

    // The trimmed value of the first matching entry; nothing when the file,
    // the section or the key is missing, or the file cannot be read.
    std::optional<QString> value(const QString& section, const QString& key) const;

    // Each returns false when nothing was written: an invalid name or value,
    // an unreadable file, or a failed write. setValues writes all entries in
    // one atomic replacement, or none of them.
    bool setValue(const QString& section, const QString& key, const QString& value);
    bool setValues(const QList<Entry>& entries);

    // Names may not be empty or hold a line break; a section name may not hold
    // "]", a key may not hold "=" nor begin with "[", ";" or "#". A value may
    // hold anything but a line break or a NUL.
    static bool isValidSection(const QString& section);
    static bool isValidKey(const QString& key);
    static bool isValidValue(const QString& value);

private:
    QString m_path;
};
