#include "ReplaceFile.h"

#include "RecordFile.h"

#include "Codec.h"
#include "FileIo.h"
#include "IndexFreshness.h"
#include "RunLog.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ReplaceFile::ReplaceFile(const QString& target)
    : m_target(resolveFileCase(target))
{
}

ReplaceFile::~ReplaceFile()
{
    if (!m_committed)
        discard();
}

void ReplaceFile::fail(int error)
{
    m_failed = true;
    if (error != 0)
        m_error = QString::fromLocal8Bit(std::strerror(error));
}

void ReplaceFile::discard()
{
    m_temp.close();
    if (!m_tempName.isEmpty())
        QFile::remove(m_tempName);
    m_tempName.clear();
}

bool ReplaceFile::open()
{
    discard();
    m_written = 0;
    m_failed = false;
    m_committed = false;
    m_error.clear();
    QByteArray name = QFile::encodeName(m_target) + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        fail(errno);
        return false;
    }
    m_tempName = QFile::decodeName(name);
    // Unbuffered: a buffered device may report a short write as complete.
    if (!m_temp.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        discard();
        fail(0);
        return false;
    }
    return true;
}

bool ReplaceFile::write(const char* data, qint64 size)
{
    if (m_failed || !m_temp.isOpen())
        return false;
    qint64 done = 0;
    while (done < size) {
        const qint64 n = m_temp.write(data + done, size - done);
        if (n <= 0) {
            fail(0);
            return false;
        }
        done += n;
    }
    m_written += size;
    return true;
}

bool ReplaceFile::commit()
{
    if (m_failed || !m_temp.isOpen())
        return false;
    const int fd = m_temp.handle();
    // The new file gets the old one's permissions, or the usual ones for a fresh table.
    struct stat old { };
    const mode_t mode
        = ::stat(QFile::encodeName(m_target).constData(), &old) == 0 ? (old.st_mode & 07777) : mode_t(0644);
    ::fchmod(fd, mode);
    struct stat written { };
    if (::fdatasync(fd) != 0 || ::fstat(fd, &written) != 0) {
        fail(errno);
        discard();
        return false;
    }
    m_temp.close();
    if (written.st_size != m_written) {
        fail(0);
        discard();
        return false;
    }
    // rename(2) replaces the target in one step (QFile::rename refuses an existing target).
    if (std::rename(QFile::encodeName(m_tempName).constData(), QFile::encodeName(m_target).constData()) != 0) {
        fail(errno);
        discard();
        return false;
    }
    m_committed = true;
    m_tempName.clear();
    noteFileWritten(m_target);
    // The new file is in place either way; a folder that cannot be synced only leaves the rename
    // less durable, which the run log records.
    if (!syncFolder(QFileInfo(m_target).absolutePath()))
        logLine(QByteArrayLiteral("ReplaceFile: folder not flushed ") + fromUi(m_target));
    return true;
}

QString ReplaceFile::errorString() const
{
    return m_error.isEmpty() ? m_temp.errorString() : m_error;
}
