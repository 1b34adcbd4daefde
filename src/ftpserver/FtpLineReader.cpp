#include "FtpLineReader.h"

namespace {

constexpr quint8 Iac = 0xff;
constexpr quint8 FirstCommand = 0xf0; // SE; SE..IAC are the Telnet commands
constexpr quint8 Will = 0xfb, Wont = 0xfc, Do = 0xfd, Dont = 0xfe;

} // namespace

QByteArray FtpLineReader::unTelnet(const QByteArray& raw)
{
    QByteArray bytes;
    bytes.reserve(raw.size());
    for (const char c : raw) {
        const quint8 b = quint8(c);
        switch (m_telnet) {
        case Plain:
            if (b == Iac)
                m_telnet = AfterIac;
            else
                bytes.append(c);
            break;
        case AfterIac:
            m_telnet = Plain;
            if (b == Will || b == Wont || b == Do || b == Dont) {
                m_telnet = OptionByte;
            } else if (b == Iac) {
                bytes.append(c);
            } else if (b < FirstCommand) {
                bytes.append(char(Iac));
                bytes.append(c);
            }
            break;
        case OptionByte:
            m_telnet = Plain;
            break;
        }
    }
    return bytes;
}

bool FtpLineReader::feed(const QByteArray& raw, QList<Line>& out)
{
    const QByteArray bytes = unTelnet(raw);
    // Dropped Telnet bytes count as bytes without a line end all the same.
    m_run += raw.size() - bytes.size();
    if (m_run > MaxRun)
        return false;
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
    m_telnet = Plain;
}
