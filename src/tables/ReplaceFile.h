#pragma once

#include "FileIo.h"

#include <QString>

// Writes a new version of a table, text or index file beside it, under a name of its own
// ("<name>.ortova-XXXXXX", so two writers of the same file never share one), and puts it in place
// by one atomic rename: readers see the old file or the new one, never a part, and so does the
// next start after a power loss. Every write is checked as it happens, so a full disk or a size
// limit is noticed at the write that hits it.
class ReplaceFile {
public:
    explicit ReplaceFile(const QString& target);
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    // Creates the new file in the target's folder; false when it cannot be created.
    bool open();
    // False, and the file is spoiled (commit fails), when not every byte was written.
    bool write(const char* data, qint64 size);
    bool write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
    // Flushes the new file to the disk (fdatasync), renames it over the target and flushes the
    // folder. False leaves the target as it was and removes the new file. Once the rename is done
    // the result is true; a folder that could not be flushed is noted in the run log.
    bool commit();
    QString errorString() const;

private:
    DurableFile m_file;
};
