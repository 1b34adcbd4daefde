#pragma once

#include "FileIo.h"

#include <QFile>
#include <QString>

// A file a client sends. STOR writes a hidden, uniquely named temporary beside the target and puts
// it in place by one rename once the whole file has arrived (a DurableFile), so nobody (the
// exchange on the terminal included) ever sees half a file and a broken upload leaves the old one
// as it was. APPE appends to the file itself.
class FtpUpload {
public:
    enum Mode { Replace, Append };
    static constexpr const char* TempPrefix = ".ftpupload.";

    FtpUpload(const QString& target, Mode mode);
    // A file the upload replaced is let go of on another thread: freeing a large file's blocks
    // takes a while, and nobody needs to wait for it.
    ~FtpUpload();
    FtpUpload(const FtpUpload&) = delete;
    FtpUpload& operator=(const FtpUpload&) = delete;

    // Opens the file to write; for Replace the first keepBytes of the present file are carried
    // over (a resumed upload). False when it cannot be opened or carried over.
    bool open(qint64 keepBytes = 0);
    QIODevice* device() { return m_mode == Append ? static_cast<QIODevice*>(&m_appended) : m_replacement.device(); }
    // Flushes the data to the disk (fdatasync); Replace then renames the temporary over the target
    // and flushes the folder, Append flushes the folder (the append may have made the file). False
    // leaves the target as it was. An upload not committed is discarded. The data is written out in
    // steps of FlushStepBytes, and a request to interrupt the calling thread ends the commit
    // between two steps (false, the target as it was): a stopping server never waits for a whole
    // large file to reach a slow disk.
    bool commit();
    static constexpr qint64 FlushStepBytes = 4 << 20;
    // Starts writing out what was received since the last call once step bytes have gathered,
    // without waiting for the disk: the flush of commit() then finds little left to do. A step of
    // 0 or less never writes behind.
    void writeBehind(qint64 step);

private:
    bool carryOver(qint64 keepBytes);
    static bool writeOut(int fd);

    QString m_target;
    Mode m_mode;
    DurableFile m_replacement; // Replace
    QFile m_appended; // Append
    qint64 m_behind = -1; // written out up to here; -1: not known yet
    int m_replaced = -1; // the file the upload replaced, held open so the rename need not free it
};
