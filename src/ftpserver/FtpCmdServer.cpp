#include "FtpCmdServer.h"

#include "FtpCmdSession.h"
#include "FtpDatServer.h"
#include "FtpTrace.h"
#include "FtpUpload.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace {

// The operator's box texts: the title and "Unable to start the server" with the reason.
QString unableToStart(const QString& error)
{
    return QStringLiteral("Unable to start the server: %1.").arg(error);
}

// Removes the upload temporaries a killed server left anywhere under root: before the server
// listens no upload can be in progress. Only names it makes itself (the prefix and six letters of
// mkstemp's), only files, and no link is followed out of the root.
void removeUploadLeftovers(const QString& root)
{
    static const QRegularExpression own(QLatin1String("^")
        + QRegularExpression::escape(QLatin1String(FtpUpload::TempPrefix)) + QLatin1String("[A-Za-z0-9]{6}$"));
    QDirIterator it(root, { QLatin1String(FtpUpload::TempPrefix) + QLatin1Char('*') }, QDir::Files | QDir::Hidden,
        QDirIterator::Subdirectories);
    while (it.hasNext() && !QThread::currentThread()->isInterruptionRequested()) {
        const QString path = it.next();
        if (own.match(it.fileName()).hasMatch() && !it.fileInfo().isSymLink() && QFile::remove(path))
            ftpLog("FTP Server: unfinished upload removed: " + QFile::encodeName(path));
    }
}

} // namespace

FtpCmdServer::FtpCmdServer(const FtpServerConfig& config, QObject* parent)
    : QObject(parent)
    , m_config(config)
{
    connect(&m_listener, &QTcpServer::newConnection, this, &FtpCmdServer::slNewConnection);
    m_clock.start();
}

FtpCmdServer::~FtpCmdServer()
{
    m_sessions.clear();
    m_leaving.clear();
}

bool FtpCmdServer::start()
{
    removeUploadLeftovers(m_config.root);
    if (!m_listener.listen(QHostAddress::AnyIPv4, m_config.port)) {
        const QString error = m_listener.errorString();
        ftpLog("Start FTP Server failed. " + error.toLocal8Bit());
        m_listener.close();
        emit serverError(QStringLiteral("Server Error"), unableToStart(error));
        return false;
    }
    ftpLog("Start FTP Server. " + m_listener.serverAddress().toString().toLatin1() + ':'
        + QByteArray::number(m_listener.serverPort()));
    if (m_config.passWord.isEmpty())
        ftpLog("FTP Server: no password set, every login is refused.");
    // The office pins this key: the run log tells what to pin.
    if (!tlsPin().isEmpty())
        ftpLog("FTP Server TLS key: " + tlsPin());
    emit listening(m_listener.serverPort());
    return true;
}

void FtpCmdServer::updateConfig(const FtpServerConfig& config)
{
    const quint16 port = m_config.port;
    const QByteArray pin = tlsPin();
    m_config = config;
    m_config.port = port; // the control port stays the one listened on
    // TLS turned on while the server runs: the run log tells what to pin all the same.
    if (m_listener.isListening() && !tlsPin().isEmpty() && tlsPin() != pin)
        ftpLog("FTP Server TLS key: " + tlsPin());
}

QByteArray FtpCmdServer::tlsPin() const
{
    if (m_config.tls == TlsUse::Off)
        return QByteArray();
    return FtpTlsIdentity::publicKeyPin(m_config.tlsIdentity.certificate);
}

void FtpCmdServer::slNewConnection()
{
    while (QTcpSocket* socket = m_listener.nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        if (inPenalty(peer)) {
            ftpLog("New connection rejected, wrong password shortly before: " + peer.toString().toLatin1());
            turnAway(socket, "421 Too many wrong passwords, try again later.\r\n");
            continue;
        }
        // A session that is only saying goodbye, or whose client has gone without Qt having read
        // it yet (a client that reconnects at once), makes way.
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            if ((*it)->holdsSlot()) {
                ++it;
                continue;
            }
            m_leaving.push_back(std::move(*it));
            it = m_sessions.erase(it);
            if (m_leaving.size() > size_t(MaxLeaving))
                m_leaving.erase(m_leaving.begin());
        }
        if (!m_sessions.empty() && !sameClient(peer)) {
            ftpLog("New connection rejected: " + peer.toString().toLatin1());
            turnAway(socket, "421 Only one connection at a time.\r\n");
            continue;
        }
        m_sessions.push_back(std::make_unique<FtpCmdSession>(socket, m_config, *this));
        FtpCmdSession* session = m_sessions.back().get();
        connect(session, &FtpCmdSession::finished, this, [this, session] { sessionFinished(session); });
    }
}

bool FtpCmdServer::sameClient(const QHostAddress& peer) const
{
    // Only a client that has proved itself opens more: a stranger at the same address cannot hold
    // the slot with connections that never log in.
    if (m_sessions.size() >= size_t(MaxSessions))
        return false;
    bool loggedIn = false;
    for (const auto& session : m_sessions) {
        if (!session->peer().isEqual(peer, QHostAddress::ConvertV4MappedToIPv4))
            return false;
        loggedIn = loggedIn || session->loggedIn();
    }
    return loggedIn;
}

void FtpCmdServer::turnAway(QTcpSocket* socket, const QByteArray& reply)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // The reply is small enough to leave at once; a client that does not take it is cut.
    QTimer::singleShot(FtpCmdSession::CloseGraceMs, socket, &QTcpSocket::abort);
    socket->write(reply);
    socket->disconnectFromHost();
}

void FtpCmdServer::sessionFinished(FtpCmdSession* session)
{
    // Called from inside the session's own signal: it goes on the next turn of the loop.
    for (auto* list : { &m_sessions, &m_leaving }) {
        for (auto it = list->begin(); it != list->end(); ++it) {
            if (it->get() == session) {
                it->release()->deleteLater();
                list->erase(it);
                return;
            }
        }
    }
}

std::unique_ptr<FtpDatServer> FtpCmdServer::openPassive(
    const QHostAddress& client, const FtpDatChannel::Options& options)
{
    auto dat = std::make_unique<FtpDatServer>(client, options);
    QString error;
    for (int attempt = 0; attempt < PassivePorts; ++attempt) {
        const int port = m_config.dataPort == 0 ? 0 : m_config.dataPort + m_passiveIndex;
        m_passiveIndex = (m_passiveIndex + 1) % PassivePorts;
        if (port <= 65535 && dat->listen(quint16(port), error))
            return dat;
    }
    ftpLog("   Data Server Error. " + error.toLocal8Bit());
    emit serverError(QStringLiteral("Data Server Error"), unableToStart(error));
    return nullptr;
}

int FtpCmdServer::loginFailed(const QHostAddress& peer)
{
    const qint64 now = m_clock.elapsed();
    m_recentFailures.append(now);
    while (m_recentFailures.size() > qMax(1, m_config.failuresPerMinute))
        m_recentFailures.removeFirst();
    // Bounded: a flood of addresses only forgets the counts, it cannot grow the table.
    if (m_failures.size() > 4096)
        m_failures.clear();
    Failures& failures = m_failures[peer.toString()];
    ++failures.count;
    qint64 delay = qMax(0, m_config.passDelayMs);
    for (int i = 1; i < failures.count && delay < MaxPassDelayMs; ++i)
        delay *= 2;
    delay = qMin<qint64>(delay, MaxPassDelayMs);
    failures.until = now + delay;
    return int(delay);
}

void FtpCmdServer::loginSucceeded(const QHostAddress& peer)
{
    m_failures.remove(peer.toString());
}

bool FtpCmdServer::inPenalty(const QHostAddress& peer) const
{
    const auto it = m_failures.constFind(peer.toString());
    return it != m_failures.constEnd() && it->until > m_clock.elapsed();
}

int FtpCmdServer::checkDelay() const
{
    const bool guessing = m_recentFailures.size() >= qMax(1, m_config.failuresPerMinute)
        && m_clock.elapsed() - m_recentFailures.constFirst() < 60000;
    return guessing ? qMax(0, m_config.passDelayMs) : 0;
}
