#include "FtpClientChannel.h"

#include "Codec.h"
#include "DocumentList.h"
#include "FtpClient.h"
#include "RunLog.h"

#include "FileIo.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {

QString stateText(int state)
{
    switch (state) {
    case FtpClient::HostLookup:
        return QStringLiteral("ФТП\nПоиск сервера");
    case FtpClient::Connecting:
        return QStringLiteral("ФТП\nСоединяется");
    case FtpClient::Connected:
        return QStringLiteral("ФТП\nЕсть соединение");
    case FtpClient::LoggedIn:
        return QStringLiteral("ФТП\nАвторизация");
    case FtpClient::Closing:
        return QStringLiteral("ФТП\nРазъединение");
    case FtpClient::Unconnected:
    default:
        return QStringLiteral("ФТП\nНет соединения");
    }
}

// "label id" for the run log.
QByteArray idLine(const char* label, int id)
{
    return QByteArray(label) + ' ' + QByteArray::number(id);
}

// The after-load name of an office file: its last letter "o" (x.tvr -> x.tvo).
QByteArray renamedO(QByteArray name)
{
    if (!name.isEmpty())
        name[name.size() - 1] = 'o';
    return name;
}

// Six letters or digits, as the temporaries beside a file end.
QByteArray randomLetters()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray text;
    for (int i = 0; i < 6; ++i)
        text += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
    return text;
}

} // namespace

FtpClientChannel::FtpClientChannel(const ChannelSetup& setup, QObject* parent)
    : ExchangeChannel(parent)
    , m_setup(setup)
{
}

FtpClientChannel::~FtpClientChannel()
{
    // Whatever the client still does (a close, a broken-off command) ends with it.
    delete m_ftp;
}

QString FtpClientChannel::localFolder(bool input) const
{
    Q_UNUSED(input)
    return QString();
}

bool FtpClientChannel::isWorkFolder(bool input) const
{
    Q_UNUSED(input)
    return false;
}

void FtpClientChannel::start(const ExchangeJob& job)
{
    m_job = job;
    m_job.outcome = JobOutcome::Done;
    m_busy = true;
    m_aborting = false;
    m_phase = 0;
    m_listed.clear();
    if (!m_ftp) {
        m_ftp = new FtpClient(this);
        m_ftp->setSecurity({ static_cast<TlsUse>(m_setup.ftp.tls), m_setup.ftp.fingerprint });
        connect(m_ftp, &FtpClient::stateChanged, this, &FtpClientChannel::onState);
        connect(m_ftp, &FtpClient::done, this, &FtpClientChannel::onDone);
        connect(m_ftp, &FtpClient::commandStarted, this, &FtpClientChannel::onStarted);
        connect(m_ftp, &FtpClient::commandFinished, this, &FtpClientChannel::onFinished);
        connect(m_ftp, &FtpClient::dataTransferProgress, this, &FtpClientChannel::onProgress);
        connect(m_ftp, &FtpClient::listInfo, this, &FtpClientChannel::onListInfo);
    }
    if (m_job.kind != JobKind::Close)
        emit statusChanged(QStringLiteral("ФТП"));
    runPhase();
}

void FtpClientChannel::runPhase()
{
    // Each phase's commands fail or pass on their own.
    m_command = -1;
    m_error = false;
    m_errorText.clear();
    m_tolerated = -1;
    const FtpClient::TransferMode mode = m_setup.ftp.transferMode == 1 ? FtpClient::Active : FtpClient::Passive;
    switch (m_job.kind) {
    case JobKind::List:
        connectTo(m_setup.input);
        m_ftp->setTransferMode(mode);
        m_ftp->list();
        m_ftp->close();
        return;
    case JobKind::Lookup:
        // Whether the office's folder already holds a file of the name, from its listing.
        connectTo(folder(m_job.input));
        m_ftp->setTransferMode(mode);
        m_ftp->list();
        return;
    case JobKind::Fetch:
        if (!startFetch())
            return;
        // The listing says which file the name is now, for the after-load action.
        m_ftp->setTransferMode(mode);
        m_ftp->list();
        logLine(idLine("ftpGet:get", m_ftp->get(m_job.name, m_job.local)) + ' ' + m_job.name);
        return;
    case JobKind::Deliver:
    case JobKind::DeliverLog:
        if (m_phase == 0) {
            if (!startDeliver(
                    m_job.kind == JobKind::Deliver ? QStringLiteral("Выгрузка\nСправочник\nнулевой длины") : QString()))
                return;
            // Under a name of its own until it is whole: the office never takes half a file.
            m_temporary = temporaryPrefix(m_job.name) + randomLetters();
            m_temporaryInput = m_job.input;
            m_ftp->setTransferMode(mode);
            logLine(idLine("ftpPut:put", m_ftp->put(m_job.local, m_temporary)) + ' ' + m_temporary);
        } else if (m_phase == 1) {
            logLine(idLine("ftpPut:rename", m_ftp->rename(m_temporary, m_job.name)) + ' ' + m_temporary + " -> "
                + m_job.name);
        } else {
            // A server that does not rename over a file: the old one goes, now that the new is whole.
            logLine(idLine("ftpPut:remove", m_ftp->remove(m_job.name)) + ' ' + m_job.name);
            m_ftp->rename(m_temporary, m_job.name);
        }
        return;
    case JobKind::ActOnSource:
        if (m_phase == 0) {
            connectTo(m_setup.input);
            m_ftp->setTransferMode(mode);
            m_ftp->list();
        } else if (m_job.action == SourceAction::Delete) {
            logLine(idLine("RemFtpFile:remove", m_ftp->remove(m_job.name)) + ' ' + m_job.name);
        } else if (m_phase == 1) {
            // A former "...o" is replaced (a failed command drops the ones queued after it).
            m_tolerated = m_ftp->remove(renamedO(m_job.name));
        } else {
            logLine(idLine("RenFtpFile:rename", m_ftp->rename(m_job.name, renamedO(m_job.name))) + ' ' + m_job.name
                + " -> " + renamedO(m_job.name));
        }
        return;
    case JobKind::Close:
        if (m_phase == 0 && !m_temporary.isEmpty() && m_ftp->state() != FtpClient::Unconnected) {
            // A broken-off upload's temporary goes before the connection does.
            connectTo(folder(m_temporaryInput));
            m_tolerated = m_ftp->remove(m_temporary);
            m_temporary.clear();
            return;
        }
        m_phase = 1;
        if (m_ftp->state() == FtpClient::Unconnected) {
            finish(JobOutcome::Done);
            return;
        }
        logLine(idLine("CloseFtp:close", m_ftp->close()));
        return;
    }
}

const UrlInfo* FtpClientChannel::listed(const QByteArray& name) const
{
    for (const UrlInfo& info : m_listed)
        if (info.isFile && info.name == name)
            return &info;
    return nullptr;
}

void FtpClientChannel::phaseDone()
{
    switch (m_job.kind) {
    case JobKind::Lookup:
        // The office's server may not tell letter cases apart: any spelling counts.
        for (const UrlInfo& info : std::as_const(m_listed))
            if (info.isFile && info.name.toUpper() == m_job.name.toUpper())
                m_job.exists = true;
        break;
    case JobKind::Fetch:
        if (const UrlInfo* info = listed(m_job.name))
            m_fetched.insert(m_job.name, *info);
        else
            m_fetched.remove(m_job.name);
        break;
    case JobKind::Deliver:
    case JobKind::DeliverLog:
        if (m_phase < 1) {
            ++m_phase;
            runPhase();
            return;
        }
        m_temporary.clear();
        break;
    case JobKind::ActOnSource:
        if (m_phase == 0) {
            const UrlInfo* now = listed(m_job.name);
            const auto fetched = m_fetched.constFind(m_job.name);
            if (!now || fetched == m_fetched.constEnd() || now->size != fetched->size
                || now->lastModified != fetched->lastModified) {
                m_job.sourceChanged = true;
                finish(JobOutcome::Failed, QStringLiteral("Справочник изменён в офисе и оставлен"));
                return;
            }
            m_fetched.remove(m_job.name);
            ++m_phase;
            runPhase();
            return;
        }
        if (m_phase == 1 && m_job.action == SourceAction::Rename) {
            ++m_phase;
            runPhase();
            return;
        }
        break;
    default:
        break;
    }
    finish(JobOutcome::Done);
}

bool FtpClientChannel::startFetch()
{
    // The client fills the file through a temporary of its own and puts it in place only when the
    // whole file came: a broken transfer leaves nothing behind. Here only whether the work folder
    // takes the file is tried, without touching a file of that name.
    QFile probe(m_job.local);
    const bool existed = probe.exists();
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
        logLine(QStringLiteral("ftpGet: not open ") + m_job.local + QLatin1Char(' ') + probe.errorString());
        finish(JobOutcome::Failed, QStringLiteral("Загрузка\nСправочник\nне открыт"));
        return false;
    }
    probe.close();
    if (!existed)
        probe.remove();
    connectTo(m_setup.input);
    return true;
}

bool FtpClientChannel::startDeliver(const QString& empty)
{
    logLine((m_job.kind == JobKind::DeliverLog ? QStringLiteral("PutFtpIop ") : QStringLiteral("PutFtpFile "))
        + m_job.local);
    QFile probe(m_job.local);
    if (!probe.open(QIODevice::ReadOnly)) {
        finish(JobOutcome::Failed, QStringLiteral("Выгрузка\nСправочник\nне открыт"));
        return false;
    }
    if (probe.size() == 0 && !empty.isEmpty()) {
        finish(JobOutcome::Failed, empty);
        return false;
    }
    probe.close();
    connectTo(folder(m_job.input));
    return true;
}

void FtpClientChannel::connectTo(const QString& path)
{
    // The first job connects; the later ones find the connection and change folder only.
    if (m_ftp->state() == FtpClient::Unconnected) {
        const QString host = toUi(m_setup.ftp.ipAdress.trimmed());
        const quint16 port = m_setup.ftpPort;
        logLine(idLine("ftpConnect:connectToHost", m_ftp->connectToHost(host, port)) + ' ' + fromUi(host) + ':'
            + QByteArray::number(port));
        logLine(idLine("ftpConnect:login", m_ftp->login(m_setup.ftp.userName, m_setup.ftp.passWord)) + ' '
            + m_setup.ftp.userName);
    }
    if (!path.isEmpty())
        logLine(idLine("ftpConnect:cd", m_ftp->cd(fromUi(path), true)) + ' ' + fromUi(path));
}

void FtpClientChannel::abort()
{
    if (!m_busy || m_aborting)
        return;
    m_aborting = true;
    if (m_job.kind == JobKind::Close || !m_ftp) {
        // Breaking off the close itself: nothing is left to wait for.
        finish(JobOutcome::Aborted);
        return;
    }
    m_ftp->abort();
    // Nothing had started yet: the queue is dropped and no done() comes.
    if (m_command < 0)
        finish(JobOutcome::Aborted);
}

void FtpClientChannel::finish(JobOutcome outcome, const QString& reason)
{
    if (!m_busy)
        return;
    m_busy = false;
    m_job.outcome = outcome;
    if (outcome == JobOutcome::Failed) {
        m_job.reason = !reason.isEmpty()     ? reason
            : m_error                        ? m_errorText
            : m_job.kind == JobKind::Deliver ? QStringLiteral("Выгрузка\nошибки")
                                             : QStringLiteral("Загрузка\nошибки");
        if ((m_job.kind == JobKind::Fetch || m_job.kind == JobKind::Deliver) && !m_job.sourceChanged)
            m_job.logText = m_error || reason.isEmpty() ? oneLine(m_job.reason) : QString();
        // A refused upload's log stays on the terminal, as the directory did.
        m_job.partial = m_job.kind == JobKind::Deliver && reason.isEmpty();
    }
    finishLater(m_job);
}

void FtpClientChannel::onStarted(int id)
{
    m_command = id;
}

void FtpClientChannel::onFinished(int id, bool error)
{
    if (id == m_command)
        m_command = -1;
    const int code = m_ftp ? int(m_ftp->error()) : 0;
    logLine(QByteArrayLiteral("Finished ") + QByteArray::number(id) + ' ' + QByteArray::number(error) + ' '
        + QByteArray::number(code));
    if (error && m_ftp && id != m_tolerated) {
        m_error = true;
        m_errorText = m_ftp->errorString();
    }
}

void FtpClientChannel::onState(int state)
{
    const QString text = stateText(state);
    emit statusChanged(text);
    logLine(QStringLiteral("stateChanged %1 ").arg(state) + oneLine(text));
    if (state == FtpClient::Unconnected && m_busy && m_job.kind == JobKind::Close) {
        logLine(QByteArrayLiteral("State:DoneFtp"));
        finish(JobOutcome::Done);
    }
}

void FtpClientChannel::onDone(bool error)
{
    if (!m_busy)
        return;
    logLine(QByteArrayLiteral("DoneFtp ") + QByteArray::number(error));
    if (m_aborting) {
        finish(JobOutcome::Aborted);
        return;
    }
    if (m_job.kind == JobKind::Close) {
        if (m_phase == 0) {
            ++m_phase;
            runPhase();
        } else {
            finish(JobOutcome::Done);
        }
        return;
    }
    if (!m_error) {
        phaseDone();
        return;
    }
    const bool renaming = (m_job.kind == JobKind::Deliver || m_job.kind == JobKind::DeliverLog) && m_phase == 1;
    if (renaming) {
        ++m_phase;
        runPhase();
        return;
    }
    finish(JobOutcome::Failed);
}

void FtpClientChannel::onProgress(qint64 done, qint64 total)
{
    emit progress(done, total);
    // While the file itself travels (a log's upload shows no text).
    if (m_job.kind == JobKind::Fetch)
        emit statusChanged(QStringLiteral("ФТП\nчтение"));
    else if (m_job.kind == JobKind::Deliver)
        emit statusChanged(QStringLiteral("ФТП\nзапись"));
}

void FtpClientChannel::onListInfo(const UrlInfo& info)
{
    if (!m_busy)
        return;
    if (m_job.kind == JobKind::List && m_setup.listTable)
        m_job.listing += remoteListLine(info, *m_setup.listTable);
    else
        m_listed.append(info);
}
