#include "Scanner.h"

#include "Codec.h"

#include "ScanFeed.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

QList<QByteArray> ScanLineSplitter::takeAll()
{
    return std::exchange(m_ready, {});
}

char EvdevKeys::keyChar(quint16 code, bool shift)
{
    // The keys of the main block in the order of their codes, without and with shift.
    static const char row1[] = "1234567890-=", row1s[] = "!@#$%^&*()_+";
    static const char row2[] = "qwertyuiop[]", row2s[] = "QWERTYUIOP{}";
    static const char row3[] = "asdfghjkl;'`", row3s[] = "ASDFGHJKL:\"~";
    static const char row4[] = "\\zxcvbnm,./", row4s[] = "|ZXCVBNM<>?";
    if (code >= KEY_1 && code <= KEY_EQUAL)
        return (shift ? row1s : row1)[code - KEY_1];
    if (code >= KEY_Q && code <= KEY_RIGHTBRACE)
        return (shift ? row2s : row2)[code - KEY_Q];
    if (code >= KEY_A && code <= KEY_GRAVE)
        return (shift ? row3s : row3)[code - KEY_A];
    if (code >= KEY_BACKSLASH && code <= KEY_SLASH)
        return (shift ? row4s : row4)[code - KEY_BACKSLASH];
    switch (code) {
    case KEY_SPACE:
        return ' ';
    case KEY_ENTER:
    case KEY_KPENTER:
        return '\n';
    case KEY_KP0:
        return '0';
    case KEY_KP1:
    case KEY_KP2:
    case KEY_KP3:
        return char('1' + (code - KEY_KP1));
    case KEY_KP4:
    case KEY_KP5:
    case KEY_KP6:
        return char('4' + (code - KEY_KP4));
    case KEY_KP7:
    case KEY_KP8:
    case KEY_KP9:
        return char('7' + (code - KEY_KP7));
    case KEY_KPMINUS:
        return '-';
    case KEY_KPPLUS:
        return '+';
    case KEY_KPASTERISK:
        return '*';
    case KEY_KPSLASH:
        return '/';
    case KEY_KPDOT:
        return '.';
    default:
        return 0;
    }
}

QByteArray EvdevKeys::feed(quint16 type, quint16 code, qint32 value)
{
    if (type != EV_KEY)
        return {};
    if (code == KEY_LEFTSHIFT || code == KEY_RIGHTSHIFT) {
        (code == KEY_LEFTSHIFT ? m_leftShift : m_rightShift) = value != 0;
        return {};
    }
    // A press types; a release and the keyboard's own repeat do not.
    if (value != 1)
        return {};
    const char c = keyChar(code, m_leftShift || m_rightShift);
    return c ? QByteArray(1, c) : QByteArray();
}

namespace {

// No scanner: initialisation fails, every read fails at once.
class NoScanner : public Scanner {
public:
    bool init() override { return false; }
    bool read(QByteArray&, int) override { return false; }
};

// A back end on a file descriptor. pump() takes what the descriptor holds now without waiting;
// codes are handed on whole, one per line.
class DescriptorScanner : public Scanner {
public:
    ~DescriptorScanner() override
    {
        m_notifier.reset();
        m_poll.reset();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool read(QByteArray& code, int timeoutMs) override
    {
        if (m_fd < 0)
            return false;
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            if (m_lines.take(code))
                return true;
            const Pumped got = pump();
            if (got == Pumped::Failed)
                return false;
            if (got == Pumped::Some)
                continue;
            const qint64 left = deadline.remainingTime();
            if (left <= 0)
                return false;
            if (m_pollable) {
                pollfd p { m_fd, POLLIN, 0 };
                if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR)
                    return false;
            } else {
                // End of an ordinary file: look again shortly.
                QThread::msleep(static_cast<unsigned long>(qMin<qint64>(left, 20)));
            }
        }
    }

    bool watch(std::function<void(const QByteArray&)> deliver) override
    {
        if (m_fd < 0)
            return false;
        m_deliver = std::move(deliver);
        if (m_pollable) {
            m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
            QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { arrived(); });
        } else {
            // An ordinary file is always "readable": it is looked at a few times a second instead.
            m_poll = std::make_unique<QTimer>();
            m_poll->setInterval(100);
            QObject::connect(m_poll.get(), &QTimer::timeout, m_poll.get(), [this] { arrived(); });
            m_poll->start();
        }
        return true;
    }

protected:
    enum class Pumped { Nothing, Some, Failed };
    // Reads what the descriptor holds now into m_lines.
    virtual Pumped pump() = 0;
    // One read of at most size bytes into buffer; n is how many came.
    Pumped readSome(void* buffer, size_t size, ssize_t& n) const
    {
        n = ::read(m_fd, buffer, size);
        if (n > 0)
            return Pumped::Some;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return Pumped::Failed;
        return Pumped::Nothing;
    }

    int m_fd = -1;
    bool m_pollable = true;
    ScanLineSplitter m_lines;

private:
    void arrived()
    {
        Pumped got;
        while ((got = pump()) == Pumped::Some) { }
        if (got == Pumped::Failed) {
            // The device went away: stop watching instead of being woken for ever.
            if (m_notifier)
                m_notifier->setEnabled(false);
            if (m_poll)
                m_poll->stop();
        }
        // Every whole code first, then the handing on: a taker may run a nested event loop.
        const QList<QByteArray> codes = m_lines.takeAll();
        for (const QByteArray& c : codes)
            m_deliver(c);
    }

    std::function<void(const QByteArray&)> m_deliver;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QTimer> m_poll;
};

// A named pipe or an ordinary file, one code per line. A pipe is opened for reading and writing,
// so that it never reports end of file when a writer goes away and the next writer is simply
// waited for; a file is followed like a growing log, so a script may append codes to it.
class StreamScanner : public DescriptorScanner {
public:
    StreamScanner(const QString& path, bool fifo)
        : m_path(QFile::encodeName(path))
    {
        m_pollable = fifo;
    }

    bool init() override
    {
        if (m_fd >= 0)
            return true;
        struct stat st { };
        if (m_pollable) {
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

protected:
    Pumped pump() override
    {
        char buffer[4096];
        ssize_t n = 0;
        const Pumped got = readSome(buffer, sizeof buffer, n);
        if (got == Pumped::Some)
            m_lines.feed(QByteArray(buffer, static_cast<int>(n)));
        return got;
    }

private:
    QByteArray m_path;
};

// A USB scanner in keyboard mode, read as the input device it is. The device is grabbed, so its
// key presses reach this program's scanner only and never also type into the focused window.
class EvdevScanner : public DescriptorScanner {
public:
    explicit EvdevScanner(const QString& path)
        : m_path(QFile::encodeName(path))
    {
    }
    ~EvdevScanner() override
    {
        if (m_fd >= 0)
            ::ioctl(m_fd, EVIOCGRAB, 0);
    }

    bool init() override
    {
        if (m_fd >= 0)
            return true;
        m_fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        // Not grabbed, every code would be typed twice: once as a scan, once into the window.
        if (::ioctl(m_fd, EVIOCGRAB, 1) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        return true;
    }

protected:
    Pumped pump() override
    {
        input_event events[64];
        ssize_t n = 0;
        const Pumped got = readSome(events, sizeof events, n);
        if (got == Pumped::Some) {
            QByteArray typed;
            for (ssize_t i = 0; i < n / ssize_t(sizeof(input_event)); ++i)
                typed += m_keys.feed(events[i].type, events[i].code, events[i].value);
            m_lines.feed(typed);
        }
        return got;
    }

private:
    QByteArray m_path;
    EvdevKeys m_keys;
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

    bool watch(std::function<void(const QByteArray&)> deliver) override
    {
        if (!m_port.isOpen())
            return false;
        QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this, deliver = std::move(deliver)] {
            m_lines.feed(m_port.readAll());
            const QList<QByteArray> codes = m_lines.takeAll();
            for (const QByteArray& c : codes)
                deliver(c);
        });
        return true;
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
    if (ready())
        installed()->watch([](const QByteArray& code) { ScanFeed::instance().deliver(code); });
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
    if (!rest.isEmpty() && kind == QLatin1String("evdev"))
        return std::make_unique<EvdevScanner>(rest);
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
    text = scanText(code);
    return true;
}

QString scanText(QByteArray code)
{
    code.truncate(Scanner::MaxCodeBytes);
    const int zero = code.indexOf('\0');
    if (zero >= 0)
        code.truncate(zero);
    return toUi(code);
}
