#include "RunLog.h"

#include "Codec.h"
#include "FileIo.h"

#include <QDateTime>
#include <QDir>
#include <QMutexLocker>

#include <cstdio>

RunLog& RunLog::instance()
{
    static RunLog log;
    return log;
}

bool RunLog::open(const QString& dir)
{
    QMutexLocker lock(&m_mutex);
    if (m_file.isOpen())
        m_file.close();
    const QDir d(dir);
    const QString current = d.filePath(QStringLiteral("logortc.txt"));
    const QString previous = d.filePath(QStringLiteral("logortp.txt"));
    // rename(2) puts the full log in the previous one's place in one step: no moment is without
    // either (QFile::rename would refuse the existing name, or copy).
    if (QFileInfo(current).size() > RotateAbove
        && std::rename(QFile::encodeName(current).constData(), QFile::encodeName(previous).constData()) == 0)
        syncFolder(d.absolutePath());
    m_file.setFileName(current);
    if (!m_file.open(QIODevice::ReadWrite))
        return false;
    m_file.seek(m_file.size());
    return true;
}

void RunLog::close()
{
    QMutexLocker lock(&m_mutex);
    if (m_file.isOpen())
        m_file.close();
}

bool RunLog::isOpen() const
{
    QMutexLocker lock(&m_mutex);
    return m_file.isOpen();
}

QString RunLog::filePath() const
{
    QMutexLocker lock(&m_mutex);
    return m_file.fileName();
}

void RunLog::write(const QByteArray& bytes)
{
    QMutexLocker lock(&m_mutex);
    if (m_file.isOpen()) {
        m_file.write(bytes);
        m_file.flush();
    }
}

void RunLog::write(const QString& text)
{
    write(fromUi(text));
}

QByteArray RunLog::stamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss.zzz. ")).toLatin1();
}

void RunLog::stamped(const QString& text)
{
    // One write, so a stamp and its message never come apart.
    write(stamp() + fromUi(text));
}

void RunLog::line(const QByteArray& bytes)
{
    write(bytes + "\r\n");
}

void RunLog::line(const QString& text)
{
    line(fromUi(text));
}

void logLine(const QString& text)
{
    RunLog::instance().line(text);
}

void logLine(const QByteArray& bytes)
{
    RunLog::instance().line(bytes);
}
