#include "FtpUpload.h"

#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FtpUpload::FtpUpload(const QString& target, Mode mode)
    : m_target(target)
    , m_mode(mode)
    , m_replacement(target, QByteArray(TempPrefix))
{
}

FtpUpload::~FtpUpload()
{
    if (m_replaced >= 0)
        QThreadPool::globalInstance()->start([fd = m_replaced] { ::close(fd); });
}

bool FtpUpload::open(qint64 keepBytes)
{
    if (m_mode == Append) {
        m_appended.setFileName(m_target);
        return m_appended.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
    if (!m_replacement.open())
        return false;
    m_behind = 0;
    if (keepBytes > 0 && !carryOver(keepBytes)) {
        m_replacement.discard();
        return false;
    }
    return true;
}

bool FtpUpload::carryOver(qint64 keepBytes)
{
    QFile old(m_target);
    if (!old.open(QIODevice::ReadOnly) || old.size() < keepBytes)
        return false;
    QByteArray block(FileChunkBytes, Qt::Uninitialized);
    for (qint64 left = keepBytes; left > 0;) {
        // A large resumed file is copied in steps a stopping server does not wait out.
        if (QThread::currentThread()->isInterruptionRequested())
            return false;
        const qint64 n = readFull(old, block.data(), qMin<qint64>(left, block.size()));
        if (n <= 0 || !m_replacement.write(block.constData(), n))
            return false;
        left -= n;
    }
    return true;
}

void FtpUpload::writeBehind(qint64 step)
{
    if (step <= 0)
        return;
    const QFile* file = m_mode == Append ? &m_appended : static_cast<QFile*>(m_replacement.device());
    const int fd = file ? file->handle() : -1;
    if (fd < 0)
        return;
    // The device is unbuffered: the descriptor's offset is where the received data ends.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (m_behind < 0 || end < m_behind)
        m_behind = end;
    if (end - m_behind < step)
        return;
    ::sync_file_range(fd, m_behind, end - m_behind, SYNC_FILE_RANGE_WRITE);
    m_behind = end;
}

bool FtpUpload::writeOut(int fd)
{
    struct stat info { };
    if (fd < 0 || ::fstat(fd, &info) != 0)
        return false;
    for (qint64 at = 0; at < info.st_size; at += FlushStepBytes) {
        if (QThread::currentThread()->isInterruptionRequested())
            return false;
        // Only a speed-up for the final fdatasync, which remains the flush that counts.
        ::sync_file_range(
            fd, at, FlushStepBytes, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    }
    return !QThread::currentThread()->isInterruptionRequested();
}

bool FtpUpload::commit()
{
    if (m_mode == Replace) {
        if (!writeOut(static_cast<QFile*>(m_replacement.device())->handle()))
            return false;
        if (m_replaced < 0)
            m_replaced
                = ::open(QFile::encodeName(m_target).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        // The data channel wrote through the device: the file has to hold all it was given.
        return m_replacement.commit(m_replacement.device()->pos());
    }
    if (!m_appended.isOpen() || !writeOut(m_appended.handle()))
        return false;
    const bool synced = syncFileData(m_appended);
    m_appended.close();
    // An append may have made the file: its name has to outlast a power loss too.
    return syncFolder(QFileInfo(m_target).absolutePath()) && synced;
}
