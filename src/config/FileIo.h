#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class QIODevice;

// How much the bulk readers and writers of files move at a time: large enough that a slow flash
// file system sees few calls, small enough to keep memory flat however big the file is.
constexpr qint64 FileChunkBytes = 1 << 20;

// Reads until size bytes are in buffer or the device is at its end. Returns the bytes read (fewer
// than size only at the end), or -1 on a read error; after an error the buffer is not to be used.
qint64 readFull(QIODevice& device, char* buffer, qint64 size);
// Reads the rest of the device into data by the same rule; false on a read error.
bool readToEnd(QIODevice& device, QByteArray& data);
// Makes the folder's entries durable (a file created or renamed into it); false when the folder
// cannot be opened or synced.
bool syncFolder(const QString& folder);
// Puts the data written to an open file on the disk (fdatasync), for a file changed in place
// rather than replaced; false when it cannot. The QFileDevice form first hands Qt's buffer to the
// file.
bool syncFileData(int fd);
bool syncFileData(QFileDevice& file);

// Removes the files, then flushes the folders they were in, for a deletion the operator is told is
// done: it must outlive a power loss. True when every file is gone (also when it was not there)
// and every folder flushed.
bool removeFilesDurably(const QStringList& files);

// The permissions a new version of path gets: those of the present file, or for a new file the
// usual ones (0644 less the process's umask).
unsigned replacementMode(const QString& path);
// Gives file (a finished new version of target, still under its temporary name) the permissions
// replacementMode(target); false when it cannot.
bool giveReplacementMode(const QString& file, const QString& target);

// Every temporary file this program writes beside another is named "<name>.ortova-<T>-XXXXXX",
// where T is the terminal number (letters and digits of it; "<name>.ortova-XXXXXX" without one)
// and XXXXXX six letters or digits: a clean-up recognises this terminal's own by that alone, and
// leaves another terminal's copy in progress in a shared folder alone.
extern const char TemporaryInfix[];
// "<name>.ortova-<T>-" (or "<name>.ortova-"): what a temporary beside name begins with.
QByteArray temporaryPrefix(const QByteArray& name);
// Whether a file name is a temporary of this terminal's.
bool isOwnTemporaryName(const QString& fileName);
// Creates the empty file "<path>.ortova-<T>-XXXXXX", unique, readable only by its owner, closed on
// exec; returns its open descriptor and name, or -1 with errno set (tempName empty).
int createTemporaryFile(const QString& path, QString& tempName);

// A new version of a file, written beside it under a temporary name of its own and put in place by
// one rename, so that after a crash or a power loss the file is the old one or the new one, never
// a part: commit() flushes the data (fdatasync) before the rename and the folder after it. Every
// write is checked as it happens, so a full disk is noticed at the write that hits it. A version
// that is not committed is removed with its temporary.
class DurableFile {
public:
    explicit DurableFile(const QString& target);
    // The temporary named "<target's folder>/<tempPrefix>XXXXXX" instead, for a writer whose
    // temporaries must not show beside the target (the FTP server's uploads start with a dot).
    DurableFile(const QString& target, const QByteArray& tempPrefix);
    ~DurableFile();
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    // Creates the temporary in the target's folder (a second call starts afresh); false when it
    // cannot be created.
    bool open();
    // False, and commit() fails, when not every byte was written.
    bool write(const char* data, qint64 size);
    bool write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
    // Gives the new file replacementMode(target), flushes it, checks that it holds expectedSize
    // bytes (by default the bytes given to write(); a writer that filled the temporary through
    // tempName() gives its own count), renames it over the target and flushes the folder. False
    // leaves the target as it was. Once the rename is done the result is true; folderSynced()
    // tells whether the folder flush worked as well.
    bool commit(qint64 expectedSize = -1);
    // The permissions commit() gives instead of replacementMode(target): a secret stays 0600.
    void setMode(unsigned mode) { m_mode = int(mode); }
    bool folderSynced() const { return m_folderSynced; }
    // Gives the new version up now: the temporary is removed, the target stays as it was.
    void discard();
    QString target() const { return m_target; }
    // The temporary's path while it is open; empty otherwise.
    QString tempName() const { return m_tempName; }
    // The open temporary, for a writer that hands it on as a device (the FTP data channel). Bytes
    // written through it are not counted by write(): such a writer gives commit() its size.
    QIODevice* device() { return &m_temp; }
    QString errorString() const;

private:
    void fail(int error);

    QString m_target;
    QByteArray m_tempPrefix;
    QString m_tempName;
    QFile m_temp;
    QString m_error;
    qint64 m_written = 0;
    int m_mode = -1;
    bool m_failed = false;
    bool m_folderSynced = false;
};

// Copies source over target through a DurableFile. False (the target as it was) when source cannot
// be read or the copy cannot be put in place; the reason in *error when given.
bool copyFileDurably(const QString& source, const QString& target, QString* error = nullptr);
