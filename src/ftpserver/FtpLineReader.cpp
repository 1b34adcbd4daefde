#include "FtpLineReader.h"

bool FtpLineReader::feed(const QByteArray& bytes, QList<Line>& out)
{
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', at);
        const qsizetype stop = end < 0 ? bytes.size() : end;
        const qsizetype length = stop - at;
        m_run += length;
        if (m_run > MaxRun)
            return false;
        // Room for the line and its CR; anything longer is only counted.
        if (!m_tooLong && m_line.size() + length <= MaxLine + 1)
            m_line.append(bytes.constData() + at, length);
        else {
            m_tooLong = true;
            m_line.clear();
        }
        if (end < 0)
            break;
        if (m_line.endsWith('\r'))
            m_line.chop(1);
        Line line;
        line.tooLong = m_tooLong || m_line.size() > MaxLine;
        if (!line.tooLong)
            line.text = m_line;
        out.append(line);
        m_line.clear();
        m_run = 0;
        m_tooLong = false;
        at = end + 1;
    }
    return true;
}

void FtpLineReader::clear()
{
    m_line.clear();
    m_run = 0;
    m_tooLong = false;
}
