#include "FtpClient.h"

#include "FtpSession.h"

#include <QList>
#include <QPointer>
#include <QThread>

#include <atomic>

// The owner's side: the queue, the ids and the QFtp-style signals. The worker thread runs one
// command at a time, and the next one is handed over only when the result of the previous one has
// arrived here, so a command queued from a slot of commandFinished still belongs to this run, and
// done() comes once the queue is really empty.
class FtpWorker {
public:
    explicit FtpWorker(FtpClient* owner)
        : m_owner(owner)
    {
        qRegisterMetaType<UrlInfo>();
        m_thread.setObjectName(QStringLiteral("FtpClient"));
        m_context.moveToThread(&m_thread);
        m_thread.start();
        makeSession();
    }
    ~FtpWorker()
    {
        m_abort = true;
        m_session->wakeUp();
        m_thread.quit();
        m_thread.wait();
    }

    void makeSession()
    {
        FtpSession::Sinks sinks;
        sinks.state = [this](int state) { post([this, state] { setState(state); }); };
        sinks.progress = [this](qint64 done, qint64 total) {
            post([this, done, total] { emit m_owner->dataTransferProgress(done, total); });
        };
        sinks.entry = [this](const UrlInfo& info) { post([this, info] { emit m_owner->listInfo(info); }); };
        m_session = std::make_unique<FtpSession>(std::move(sinks), m_abort);
    }

    template <typename F>
    void post(F f)
    {
        QMetaObject::invokeMethod(m_owner, std::move(f), Qt::QueuedConnection);
    }

    int enqueue(FtpSession::Command c)
    {
        c.id = ++m_lastId;
        m_pending.append(c);
        if (m_running < 0 && !m_startPosted) {
            // Start on the next turn of the event loop, as QFtp did: the caller queues a whole
            // sequence first.
            m_startPosted = true;
            QMetaObject::invokeMethod(
                m_owner, [this] { startNext(); }, Qt::QueuedConnection);
        }
        return c.id;
    }

    void startNext()
    {
        m_startPosted = false;
        if (m_running >= 0 || m_pending.isEmpty())
            return;
        const FtpSession::Command c = m_pending.takeFirst();
        m_running = c.id;
        m_abort = false;
        m_error = FtpClient::NoError;
        m_errorString.clear();
        emit m_owner->commandStarted(c.id);
        QMetaObject::invokeMethod(&m_context, [this, c] {
            const FtpSession::Result r = m_session->run(c);
            post([this, id = c.id, r] { finished(id, r); });
        });
    }

    void finished(int id, const FtpSession::Result& r)
    {
        m_running = -1;
        const bool failed = r.error != FtpClient::NoError;
        if (failed) {
            m_error = r.error;
            m_errorString = r.text;
            m_pending.clear(); // a failed command ends the run, as with QFtp
        }
        emit m_owner->commandFinished(id, failed);
        if (failed)
            emit m_owner->done(true);
        else if (m_pending.isEmpty())
            emit m_owner->done(false);
        else
            startNext();
    }

    void setState(int state)
    {
        m_state = FtpClient::State(state);
        emit m_owner->stateChanged(state);
    }

    FtpClient* m_owner;
    QThread m_thread;
    QObject m_context; // lives in the worker thread: what is invoked on it runs there
    std::unique_ptr<FtpSession> m_session;
    std::atomic_bool m_abort { false };
    QList<FtpSession::Command> m_pending;
    int m_lastId = 0;
    int m_running = -1;
    bool m_startPosted = false;
    FtpClient::State m_state = FtpClient::Unconnected;
    FtpClient::Error m_error = FtpClient::NoError;
    QString m_errorString;
};

FtpClient::FtpClient(QObject* parent)
    : QObject(parent)
    , m_worker(std::make_unique<FtpWorker>(this))
{
}

FtpClient::~FtpClient() = default;

void FtpClient::setTimeouts(const Timeouts& t)
{
    QMetaObject::invokeMethod(&m_worker->m_context, [w = m_worker.get(), t] { w->m_session->setTimeouts(t); });
}

void FtpClient::setSecurity(const Security& security)
{
    QMetaObject::invokeMethod(
        &m_worker->m_context, [w = m_worker.get(), security] { w->m_session->setSecurity(security); });
}

int FtpClient::connectToHost(const QString& host, quint16 port)
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::ConnectToHost;
    c.host = host;
    c.port = port;
    return m_worker->enqueue(c);
}

int FtpClient::login(const QByteArray& user, const QByteArray& password)
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::Login;
    c.first = user;
    c.second = password;
    return m_worker->enqueue(c);
}

int FtpClient::cd(const QByteArray& dir, bool fromLoginFolder)
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::Cd;
    c.first = dir;
    c.fromLogin = fromLoginFolder;
    return m_worker->enqueue(c);
}

int FtpClient::setTransferMode(TransferMode mode)
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::SetTransferMode;
    c.mode = mode;
    return m_worker->enqueue(c);
}

int FtpClient::get(const QByteArray& file, const QString& localPath)
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::Get;
    c.first = file;
    c.localPath = localPath;
    return m_worker->enqueue(c);
}

int FtpClient::put(const QString& localPath, const QByteArray& file)
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::Put;
    c.first = file;
    c.localPath = localPath;
    return m_worker->enqueue(c);
}

int FtpClient::rename(const QByteArray& oldName, const QByteArray& newName)
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::Rename;
    c.first = oldName;
    c.second = newName;
    return m_worker->enqueue(c);
}

int FtpClient::remove(const QByteArray& file)
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::Remove;
    c.first = file;
    return m_worker->enqueue(c);
}

int FtpClient::list(const QByteArray& dir)
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::List;
    c.first = dir;
    return m_worker->enqueue(c);
}

int FtpClient::close()
{
    FtpSession::Command c;
    c.kind = FtpSession::Command::Close;
    return m_worker->enqueue(c);
}

void FtpClient::abort()
{
    m_worker->m_pending.clear();
    if (m_worker->m_running < 0)
        return;
    m_worker->m_abort = true;
    m_worker->m_session->wakeUp();
}

FtpClient::State FtpClient::state() const
{
    return m_worker->m_state;
}
FtpClient::Error FtpClient::error() const
{
    return m_worker->m_error;
}
QString FtpClient::errorString() const
{
    return m_worker->m_errorString;
}
bool FtpClient::hasPendingCommands() const
{
    return !m_worker->m_pending.isEmpty();
}
void FtpClient::clearPendingCommands()
{
    m_worker->m_pending.clear();
}

namespace {

struct Token {
    int start;
    int end;
};

// Blank-separated tokens with their positions, so the name (which may hold blanks) is the rest
// of the line after a known token.
QList<Token> tokens(const QByteArray& line)
{
    QList<Token> out;
    int i = 0;
    const int n = line.size();
    while (i < n) {
        while (i < n && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= n)
            break;
        const int start = i;
        while (i < n && line[i] != ' ' && line[i] != '\t')
            ++i;
        out.append({ start, i });
    }
    return out;
}

int monthOf(const QByteArray& word)
{
    static const char* const names[]
        = { "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec" };
    const QByteArray lower = word.toLower();
    for (int m = 0; m < 12; ++m)
        if (lower == names[m])
            return m + 1;
    return 0;
}

bool toNumber(const QByteArray& text, qint64& value)
{
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && value >= 0;
}

// Name after the token that ends the date: one blank separates it (more blanks belong to it).
QByteArray nameAfter(const QByteArray& line, const Token& last)
{
    int start = last.end;
    if (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    return line.mid(start);
}

bool parseUnix(const QByteArray& line, const QList<Token>& t, UrlInfo& info, const QDate& today)
{
    auto word = [&](int i) { return line.mid(t[i].start, t[i].end - t[i].start); };
    const QByteArray mode = word(0);
    if (mode.size() < 10 || !QByteArray("-dlcbps").contains(mode[0]))
        return false;
    // "size month day time-or-year name": find the month, as the owner and group columns vary.
    for (int m = 2; m + 3 < t.size(); ++m) {
        const int month = monthOf(word(m));
        qint64 size = 0;
        qint64 day = 0;
        if (!month || !toNumber(word(m - 1), size) || !toNumber(word(m + 1), day) || day < 1 || day > 31)
            continue;
        const QByteArray when = word(m + 2);
        QDate date;
        QTime time(0, 0);
        if (when.contains(':')) {
            time = QTime::fromString(QString::fromLatin1(when), QStringLiteral("H:mm"));
            // No year: the most recent such date that is not in the future.
            date = QDate(today.year(), month, int(day));
            if (date.isValid() && date > today.addDays(1))
                date = QDate(today.year() - 1, month, int(day));
        } else {
            qint64 year = 0;
            if (toNumber(when, year))
                date = QDate(int(year), month, int(day));
        }
        if (!date.isValid() || !time.isValid())
            continue;
        QByteArray name = nameAfter(line, t[m + 2]);
        if (mode[0] == 'l') {
            const int arrow = name.indexOf(" -> ");
            if (arrow >= 0)
                name.truncate(arrow);
        }
        info.name = name;
        info.size = size;
        info.lastModified = QDateTime(date, time);
        info.isDir = mode[0] == 'd';
        info.isFile = mode[0] == '-';
        return true;
    }
    return false;
}

bool parseWindows(const QByteArray& line, const QList<Token>& t, UrlInfo& info)
{
    if (t.size() < 4)
        return false;
    auto word = [&](int i) { return QString::fromLatin1(line.mid(t[i].start, t[i].end - t[i].start)); };
    const QString dateText = word(0);
    QDate date = QDate::fromString(dateText, QStringLiteral("MM-dd-yyyy"));
    if (!date.isValid()) {
        date = QDate::fromString(dateText, QStringLiteral("MM-dd-yy"));
        if (date.isValid() && date.year() < 1970) // two-digit years: 70..99 and 00..69
            date = date.addYears(100);
    }
    const QString timeText = word(1).toUpper();
    QTime time = QTime::fromString(timeText, QStringLiteral("hh:mmAP"));
    if (!time.isValid())
        time = QTime::fromString(timeText, QStringLiteral("h:mmAP"));
    if (!time.isValid())
        time = QTime::fromString(timeText, QStringLiteral("H:mm"));
    if (!date.isValid() || !time.isValid())
        return false;
    const QString kind = word(2);
    qint64 size = -1;
    const bool dir = kind.compare(QStringLiteral("<DIR>"), Qt::CaseInsensitive) == 0;
    if (!dir && !toNumber(kind.toLatin1(), size))
        return false;
    // IIS pads the size column; the name is what follows the blanks.
    int start = t[2].end;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
        ++start;
    info.name = line.mid(start);
    info.size = dir ? 0 : size;
    info.lastModified = QDateTime(date, time);
    info.isDir = dir;
    info.isFile = !dir;
    return true;
}

} // namespace

bool parseListLine(const QByteArray& line, UrlInfo& info, const QDate& today)
{
    QByteArray text = line;
    while (text.endsWith('\r') || text.endsWith('\n'))
        text.chop(1);
    const QList<Token> t = tokens(text);
    if (t.isEmpty())
        return false;
    UrlInfo parsed;
    const bool ok = QChar::fromLatin1(text[t[0].start]).isDigit() ? parseWindows(text, t, parsed)
                                                                  : parseUnix(text, t, parsed, today);
    if (!ok || parsed.name.isEmpty() || parsed.name == "." || parsed.name == "..")
        return false;
    info = parsed;
    return true;
}
