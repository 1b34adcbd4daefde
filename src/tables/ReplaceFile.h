#pragma once

#include <QFile>
#include <QString>

// Writes a new version of a file beside it ("<name>.tmp") and puts it in place by one atomic
// rename, so the old file stays whole until the new one is completely on disk. Every write is checked (the
// device is unbuffered: a short write is seen at once), and commit() checks the size on disk.
class ReplaceFile {
public:
    explicit ReplaceFile(const QString& target);
    ~ReplaceFile();
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    bool open();
    // False, and the file is spoiled (commit fails), when not every byte was written.
    bool write(const char* data, qint64 size);
    bool write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
    // Replaces the target; false leaves the target as it was and removes the new file.
    bool commit();
    QString errorString() const;

private:
    QString m_target;
    QFile m_temp;
    qint64 m_written = 0;
    bool m_failed = false;
    bool m_committed = false;
};
