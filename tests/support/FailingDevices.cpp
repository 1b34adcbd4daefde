#include "FailingDevices.h"

#include <csignal>
#include <cstring>

FailingAfter::FailingAfter(const QByteArray& content, qint64 goodBytes)
    : m_content(content)
    , m_good(goodBytes)
{
}

qint64 FailingAfter::readData(char* data, qint64 maxSize)
{
    const qint64 at = pos();
    const qint64 good = qMin<qint64>(m_good, m_content.size());
    if (at >= good)
        return at >= m_content.size() ? 0 : -1;
    const qint64 n = qMin(maxSize, good - at);
    std::memcpy(data, m_content.constData() + at, static_cast<size_t>(n));
    return n;
}

FailingFile::FailingFile(const QString& path, qint64 budget)
    : QFile(path)
    , m_budget(budget)
{
}

qint64 FailingFile::writeData(const char* data, qint64 len)
{
    if (len > m_budget)
        return -1;
    m_budget -= len;
    return QFile::writeData(data, len);
}

FileSizeLimit::FileSizeLimit(rlim_t limit)
{
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit lowered = m_old;
    lowered.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lowered);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
}
