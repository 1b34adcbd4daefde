#include "IniReader.h"

#include "Codec.h"
#include "FileIo.h"
#include "IopMsg.h"
#include "Report.h"
#include "RunLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

#include <limits>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Each line passes through the codec and back, as a Windows-1251 text stream would hand it over.
QByteArray throughCodec(const QByteArray& raw)
{
    QTextCodec* codec = cp1251();
    if (!codec || raw.isEmpty())
        return raw;
    return codec->fromUnicode(codec->toUnicode(raw));
}

} // namespace

QString IniReader::text(const char* source)
{
    return QCoreApplication::translate("IniReader", source);
}

void IniReader::addSection(const QByteArray& upperName, IniSection* section)
{
    m_sections.insert(upperName, section);
}

bool IniReader::readFile(const QString& path)
{
    const QFileInfo info(path);
    RunLog& log = RunLog::instance();
    log.stamped(QStringLiteral("Обработка ини файла ") + info.fileName() + QStringLiteral("\r\n"));
    if (!info.exists()) {
        log.write(QStringLiteral("   Нет файла \r\n"));
        return false;
    }
    // Only a regular file: a folder, a pipe or a device would fail or never end.
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        log.write(QStringLiteral("   Ошибка при открытии файла \r\n"));
        return false;
    }
    return readLines(file);
}

bool IniReader::readDevice(QIODevice& device, const QString& name)
{
    RunLog& log = RunLog::instance();
    log.stamped(QStringLiteral("Обработка ини файла ") + QFileInfo(name).fileName() + QStringLiteral("\r\n"));
    if (!device.isOpen() || !device.isReadable()) {
        log.write(QStringLiteral("   Ошибка при открытии файла \r\n"));
        return false;
    }
    return readLines(device);
}

bool IniReader::readLines(QIODevice& device)
{
    m_lineNumber = -1;
    m_headerLine = -1;
    m_section.clear();
    m_line.clear();
    m_current = nullptr;
    m_inSection = false;

    // A read that fails or stops short must not pass for the whole file: the part before the
    // failure may well be a valid file of its own.
    const qint64 expected = device.isSequential() ? -1 : device.size() - device.pos();
    QByteArray data;
    if (!readToEnd(device, data) || data.size() < expected) {
        RunLog::instance().write(QStringLiteral("   Ошибка при открытии файла \r\n"));
        return false;
    }
    bool ok = true;
    int pos = 0;
    const int size = data.size();
    // A byte-order mark left by an editor would otherwise hide the first header.
    if (data.startsWith("\xEF\xBB\xBF"))
        pos = 3;
    while (pos < size) {
        // "\n", "\r\n" and a lone "\r" all end a line; the ending is not part of it.
        int end = pos;
        while (end < size && data[end] != '\n' && data[end] != '\r')
            ++end;
        const QByteArray raw = throughCodec(data.mid(pos, end - pos));
        pos = (end + 1 < size && data[end] == '\r' && data[end + 1] == '\n') ? end + 2 : end + 1;

        ++m_lineNumber;
        m_line = raw;
        const QByteArray line = trimmed(raw);
        if (line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            if (!handleHeader(line))
                ok = false;
            continue;
        }
        if (!m_inSection || raw.isEmpty())
            continue;
        if (m_current && !m_current->line(*this, raw))
            ok = false;
    }
    // Also without any header: a file without a valid section fails.
    if (!endSection())
        ok = false;
    return ok;
}

bool IniReader::handleHeader(const QByteArray& line)
{
    const int close = line.indexOf(']');
    const QByteArray name = close < 0 ? QByteArray() : upper(trimmed(line.mid(1, close - 1)));
    if (name.isEmpty() || name.size() > SectionNameMax) {
        errorAt(m_line, m_lineNumber, 0, QByteArray());
        return false;
    }
    bool ok = true;
    if (m_inSection && !endSection())
        ok = false;
    m_section = name;
    m_headerLine = m_lineNumber;
    m_inSection = true;
    if (!startSection())
        ok = false;
    return ok;
}

bool IniReader::startSection()
{
    m_current = m_sections.value(m_section, nullptr);
    if (!m_current) {
        errorLine(text(QT_TRANSLATE_NOOP("IniReader", "408:Нет такой секциии ")), QByteArray(), m_headerLine);
        return false;
    }
    return m_current->start(*this);
}

bool IniReader::endSection()
{
    if (!m_inSection || !m_current)
        return false;
    return m_current->end(*this);
}

void IniReader::errorLine(const QString& message, const QByteArray& line, int lineNumber)
{
    // One write: the three lines stay together whatever the other thread logs.
    QByteArray out;
    out += "   |";
    out += line;
    out += "|\r\n";
    out += fromUi(text(QT_TRANSLATE_NOOP("IniReader", "строка ")));
    out += QByteArray::number(lineNumber + 1);
    out += "\r\n";
    out += fromUi(message);
    out += "\r\n";
    RunLog::instance().write(out);
}

void IniReader::errorAt(const QByteArray& line, int lineNumber, int field, const QByteArray& item)
{
    QByteArray framed("|");
    framed += line;
    framed += '|';
    iopMsg(framed);
    iopMsg(badItemLine(qint64(lineNumber) + 1, qint64(field) + 1, item));
}

void IniReader::errorItem(int field, const QByteArray& item)
{
    logLine(badItemLine(qint64(m_lineNumber) + 1, qint64(field) + 1, item));
}

bool IniReader::splitKeyValue(const QByteArray& line, QByteArray& key, QByteArray& value, int maxKey, int maxValue)
{
    const int eq = line.indexOf('=');
    if (eq < 0)
        return false;
    key = upper(trimmed(line.left(eq)));
    value = trimmed(line.mid(eq + 1));
    return !key.isEmpty() && key.size() <= maxKey && value.size() <= maxValue;
}

QByteArray IniReader::upper(const QByteArray& bytes)
{
    QByteArray out = bytes;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        // 0xE0..0xFE is а..ю in Windows-1251; 0xF7 is ч, 0xFF я, 0xB8 ё.
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
            c = static_cast<char>(u - 0x20);
    }
    return out;
}

QByteArray IniReader::trimmed(const QByteArray& bytes)
{
    int begin = 0;
    int end = bytes.size();
    while (begin < end && isBlank(bytes[begin]))
        ++begin;
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return bytes.mid(begin, end - begin);
}

QByteArray IniReader::fitText(const QByteArray& value, int max)
{
    const int zero = value.indexOf('\0');
    const int n = zero < 0 ? value.size() : zero;
    return value.left(qMin(n, max));
}

bool IniReader::toInt32(const QByteArray& value, qint32& out)
{
    const QByteArray t = trimmed(value);
    if (t.isEmpty())
        return false;
    int i = 0;
    const bool negative = t[0] == '-';
    if (t[0] == '-' || t[0] == '+')
        ++i;
    if (i == t.size())
        return false;
    qint64 acc = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
        acc = acc * 10 + (t[i] - '0');
        if (acc > static_cast<qint64>(std::numeric_limits<qint32>::max()) + 1)
            return false;
    }
    if (negative)
        acc = -acc;
    if (acc > std::numeric_limits<qint32>::max() || acc < std::numeric_limits<qint32>::min())
        return false;
    out = static_cast<qint32>(acc);
    return true;
}
