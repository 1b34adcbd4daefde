#include "FtpUpload.h"

#include "FileIo.h"

#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FtpUpload::FtpUpload(const QString& target, Mode mode)
    : m_target(target)
    , m_mode(mode)
{
}

FtpUpload::~FtpUpload()
{
    if (!m_committed)
        discard();
}

void FtpUpload::discard()
{
    m_file.close();
    if (!m_tempName.isEmpty())
        QFile::remove(m_tempName);
    m_tempName.clear();
}

bool FtpUpload::open(qint64 keepBytes)
{
    if (m_mode == Append) {
        m_file.setFileName(m_target);
        return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
    const QFileInfo target(m_target);
    QByteArray name = QFile::encodeName(target.absolutePath()) + '/' + TempPrefix + "XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    m_tempName = QFile::decodeName(name);
    // Unbuffered: every write reaches the file or fails there, none is reported done from a buffer.
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        discard();
        return false;
    }
    if (keepBytes > 0 && !carryOver(keepBytes)) {
        discard();
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
        const qint64 n = readFull(old, block.data(), qMin<qint64>(left, block.size()));
        if (n <= 0 || m_file.write(block.constData(), n) != n)
            return false;
        left -= n;
    }
    return true;
}

bool FtpUpload::commit()
{
    if (!m_file.isOpen())
        return false;
    const int fd = m_file.handle();
    if (m_mode == Append) {
        const bool synced = ::fdatasync(fd) == 0;
        m_file.close();
        m_committed = true;
        // An append may have made the file: its name has to outlast a power loss too.
        return syncFolder(QFileInfo(m_target).absolutePath()) && synced;
    }
    // The new file keeps the permissions of the one it replaces (mkstemp made it private).
    struct stat old { };
    const mode_t mode
        = ::stat(QFile::encodeName(m_target).constData(), &old) == 0 ? (old.st_mode & 07777) : mode_t(0644);
    ::fchmod(fd, mode);
    if (::fdatasync(fd) != 0) {
        discard();
        return false;
    }
    m_file.close();
    // rename(2) replaces the target in one step (QFile::rename refuses an existing target).
    if (std::rename(QFile::encodeName(m_tempName).constData(), QFile::encodeName(m_target).constData()) != 0) {
        discard();
        return false;
    }
    m_committed = true;
    m_tempName.clear();
    syncFolder(QFileInfo(m_target).absolutePath());
    return true;
}
