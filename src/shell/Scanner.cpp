#include "Scanner.h"

#include "Codec.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSerialPort>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

void ScanLineSplitter::feed(const QByteArray& chunk)
{
    for (const char c : chunk) {
        if (c == '\r' || c == '\n') {
            if (!m_partial.isEmpty())
                m_ready.append(m_partial);
            m_partial.clear();
            m_cut = false;
            continue;
        }
        if (m_cut)
            continue;
        m_partial.append(c);
        if (m_partial.size() >= Scanner::MaxCodeBytes)
            m_cut = true;
    }
}

bool ScanLineSplitter::take(QByteArray& code)
{
    if (m_ready.isEmpty())
        return false;
    code = m_ready.takeFirst();
    return true;
}

namespace {

// No scanner: initialisation fails, every read fails at once.
class NoScanner : public Scanner {
public:
    bool init() override { return false; }
    bool read(QByteArray&, int) override { return false; }
};

// A named pipe or an ordinary file, one code per line. A pipe is opened for reading and writing,
// so that it never reports end of file when a writer goes away and the next writer is simply
// waited for; a file is followed like a growing log, so a script may append codes to it.
class StreamScanner : public Scanner {
public:
    StreamScanner(const QString& path, bool fifo)
        : m_path(QFile::encodeName(path))
        , m_fifo(fifo)
    {
    }
    ~StreamScanner() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool init() override
    {
        if (m_fd >= 0)
            return true;
        struct stat st { };
        if (m_fifo) {
            if (::stat(m_path.constData(), &st) != 0) {
                if (errno != ENOENT || ::mkfifo(m_path.constData(), 0600) != 0)
                    return false;
            } else if (!S_ISFIFO(st.st_mode)) {
                return false;
            }
            m_fd = ::open(m_path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        } else {
            if (::stat(m_path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
                return false;
            m_fd = ::open(m_path.constData(), O_RDONLY | O_CLOEXEC);
        }
        return m_fd >= 0;
    }

    bool read(QByteArray& code, int timeoutMs) override
    {
        if (m_fd < 0)
            return false;
        const QDeadlineTimer deadline(timeoutMs);
        char buffer[4096];
        for (;;) {
            if (m_lines.take(code))
                return true;
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                m_lines.feed(QByteArray(buffer, static_cast<int>(n)));
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                return false;
            const qint64 left = deadline.remainingTime();
            if (left <= 0)
                return false;
            if (m_fifo) {
                pollfd p { m_fd, POLLIN, 0 };
                if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR)
                    return false;
            } else {
                // End of an ordinary file: look again shortly.
                QThread::msleep(static_cast<unsigned long>(qMin<qint64>(left, 20)));
            }
        }
    }

private:
    QByteArray m_path;
    bool m_fifo;
    int m_fd = -1;
    ScanLineSplitter m_lines;
};

// A scanner on a serial line that sends each code followed by CR and/or LF.
class SerialScanner : public Scanner {
public:
    SerialScanner(const QString& port, qint32 baud)
        : m_portName(port)
        , m_baud(baud)
    {
    }

    bool init() override
    {
        if (m_port.isOpen())
            return true;
        m_port.setPortName(m_portName);
        if (!m_port.open(QIODevice::ReadOnly))
            return false;
        if (!m_port.setBaudRate(m_baud) || !m_port.setDataBits(QSerialPort::Data8)
            || !m_port.setParity(QSerialPort::NoParity) || !m_port.setStopBits(QSerialPort::OneStop)
            || !m_port.setFlowControl(QSerialPort::NoFlowControl)) {
            m_port.close();
            return false;
        }
        return true;
    }

    bool read(QByteArray& code, int timeoutMs) override
    {
        if (!m_port.isOpen())
            return false;
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            if (m_lines.take(code))
                return true;
            if (m_port.bytesAvailable() > 0) {
                m_lines.feed(m_port.readAll());
                continue;
            }
            const qint64 left = deadline.remainingTime();
            if (left <= 0 || !m_port.waitForReadyRead(static_cast<int>(left)))
                return false;
        }
    }

private:
    QString m_portName;
    qint32 m_baud;
    QSerialPort m_port;
    ScanLineSplitter m_lines;
};

std::unique_ptr<Scanner>& installed()
{
    static std::unique_ptr<Scanner> s = std::make_unique<NoScanner>();
    return s;
}

bool& ready()
{
    static bool r = false;
    return r;
}

} // namespace

Scanner& scanner()
{
    return *installed();
}

void installScanner(std::unique_ptr<Scanner> s)
{
    installed() = s ? std::move(s) : std::make_unique<NoScanner>();
    ready() = false;
}

bool initScanner()
{
    ready() = installed()->init();
    return ready();
}

bool scannerReady()
{
    return ready();
}

std::unique_ptr<Scanner> makeScanner(const QString& device)
{
    const int colon = device.indexOf(QLatin1Char(':'));
    const QString kind = device.left(colon).trimmed().toLower();
    const QString rest = colon < 0 ? QString() : device.mid(colon + 1);
    if (!rest.isEmpty() && kind == QLatin1String("pipe"))
        return std::make_unique<StreamScanner>(rest, true);
    if (!rest.isEmpty() && kind == QLatin1String("file"))
        return std::make_unique<StreamScanner>(rest, false);
    if (!rest.isEmpty() && kind == QLatin1String("serial")) {
        // "serial:/dev/ttyUSB0:19200": a trailing number after the last colon is the speed.
        QString port = rest;
        qint32 baud = 9600;
        const int last = rest.lastIndexOf(QLatin1Char(':'));
        if (last > 0) {
            bool ok = false;
            const qint32 b = rest.mid(last + 1).toInt(&ok);
            if (ok && b > 0) {
                baud = b;
                port = rest.left(last);
            }
        }
        return std::make_unique<SerialScanner>(port, baud);
    }
    return std::make_unique<NoScanner>();
}

bool scanBarcode(QString& text, int timeoutMs)
{
    if (!ready())
        return false;
    QByteArray code;
    if (!scanner().read(code, timeoutMs))
        return false;
    QApplication::beep();
    code.truncate(Scanner::MaxCodeBytes);
    const int zero = code.indexOf('\0');
    if (zero >= 0)
        code.truncate(zero);
    text = toUi(code);
    return true;
}
