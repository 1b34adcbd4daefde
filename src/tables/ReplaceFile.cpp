#include "ReplaceFile.h"

#include "IndexFreshness.h"

#include <QFileInfo>

#include <cstdio>

ReplaceFile::ReplaceFile(const QString& target)
    : m_target(target)
    , m_temp(target + QStringLiteral(".tmp"))
{
}

ReplaceFile::~ReplaceFile()
{
    if (!m_committed) {
        m_temp.close();
        m_temp.remove();
    }
}

bool ReplaceFile::open()
{
    m_written = 0;
    // Unbuffered: a buffered device may report a short write as complete.
    m_failed = !m_temp.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    return !m_failed;
}

bool ReplaceFile::write(const char* data, qint64 size)
{
    if (m_failed)
        return false;
    qint64 done = 0;
    while (done < size) {
        const qint64 n = m_temp.write(data + done, size - done);
        if (n <= 0) {
            m_failed = true;
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
    const QString tempName = m_temp.fileName();
    m_temp.close();
    if (QFileInfo(tempName).size() != m_written) {
        m_failed = true;
        return false;
    }
    // The new file gets the old one's permissions, or the usual ones for a fresh table.
    const QFileInfo old(m_target);
    m_temp.setPermissions(
        old.exists() ? old.permissions() : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    // rename(2) replaces the target in one step (QFile::rename refuses an existing target).
    if (std::rename(QFile::encodeName(tempName).constData(), QFile::encodeName(m_target).constData()) != 0) {
        m_failed = true;
        return false;
    }
    m_committed = true;
    noteFileWritten(m_target);
    return true;
}

QString ReplaceFile::errorString() const
{
    return m_temp.errorString();
}
