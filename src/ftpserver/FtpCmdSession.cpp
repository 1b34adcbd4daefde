#include "FtpCmdSession.h"

#include "Codec.h"
#include "FileIo.h"
#include "FtpCmdServer.h"
#include "FtpDatServer.h"
#include "FtpDatSocket.h"
#include "FtpListing.h"
#include "FtpRoundTrip.h"
#include "FtpSocketState.h"
#include "FtpTlsContext.h"
#include "FtpTlsSocket.h"
#include "FtpTrace.h"
#include "FtpUpload.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

const QByteArray Reply150Binary = "150 Opening BINARY mode data connection for .\r\n";
const QByteArray Reply150Ascii = "150 Opening ASCII mode data connection for .\r\n";
const QByteArray ReplyOk = "200 Command okay.\r\n";
const QByteArray ReplyPortOk = "200 PORT command successful.\r\n";
// Only what is served as specified: names travel in Windows-1251, so no UTF8.
const QByteArray ReplyFeatures = "211-Features:\r\n MDTM\r\n REST STREAM\r\n SIZE\r\n211 End\r\n";
const QByteArray ReplyFeaturesTls
    = "211-Features:\r\n AUTH TLS\r\n MDTM\r\n PBSZ\r\n PROT\r\n REST STREAM\r\n SIZE\r\n211 End\r\n";
const QByteArray ReplySystem = "215 Vexa FTP Server.\r\n";
const QByteArray ReplyWelcome = "220 Vexa FTP Server.\r\n";
const QByteArray ReplyGoodbye = "221 Goodbye!\r\n";
const QByteArray ReplyComplete = "226 Transfer complete.\r\n";
const QByteArray ReplyAbortDone = "226 ABOR command successful.\r\n";
const QByteArray ReplyLoggedIn = "230 User logged in, proceed.\r\n";
const QByteArray ReplyAuthOk = "234 AUTH TLS successful.\r\n";
const QByteArray ReplyDeleted = "250 DELE command successful.\r\n";
const QByteArray ReplyRenamed = "250 RNTO command successful.\r\n";
const QByteArray ReplyNeedPassword = "331 User name okay, need password.\r\n";
const QByteArray ReplyRenameReady = "350 File or directory exist, ready for destination name.\r\n";
const QByteArray ReplyTimeout = "421 Timeout.\r\n";
const QByteArray ReplyLoginTimeout = "421 Login timeout.\r\n";
const QByteArray ReplyCantOpen = "425 Can't open data connection.\r\n";
const QByteArray ReplyAborted = "426 Connection closed; transfer aborted.\r\n";
const QByteArray ReplyLocalError = "451 Requested action aborted: local error in processing.\r\n";
const QByteArray ReplySyntax = "500 Syntax error, command unrecognized.\r\n";
const QByteArray ReplyIllegalPort = "500 Illegal PORT command.\r\n";
const QByteArray ReplyBadSequence = "503 Bad sequence of commands.\r\n";
const QByteArray ReplyBadParameter = "504 Command not implemented fo that parameter.\r\n";
const QByteArray ReplyNotLoggedIn = "530 Not logged in.\r\n";
const QByteArray ReplyTlsFirst = "530 TLS required: send AUTH TLS first.\r\n";
const QByteArray ReplyNoTls = "502 TLS is not enabled.\r\n";
const QByteArray ReplyUnknownMechanism = "504 Security mechanism not understood.\r\n";
const QByteArray ReplyClearDataRefused = "521 Data connections must be protected: send PROT P.\r\n";
const QByteArray ReplyClearDataPolicy = "534 Clear data connections are not allowed.\r\n";
const QByteArray ReplyProtUnsupported = "536 Protection level not supported.\r\n";
const QByteArray ReplyNotTaken = "550 Request file or directory action not taken.\r\n";
const QByteArray ReplyBadName = "553 Requested action not taken. File name not allowed.\r\n";
const QByteArray ReplyBadRestart = "554 Requested action not taken: invalid REST parameter.\r\n";

QByteArray notFound(const QByteArray& argument)
{
    return "550 " + argument + ": The system cannot find the file specified.\r\n";
}

QByteArray quoted(const QByteArray& code, const QByteArray& text, const char* tail)
{
    return code + " \"" + text + "\" " + tail + "\r\n";
}

QByteArray folderChanged(const QStringList& parts)
{
    return "250 Directory changed to " + fromUi(FtpPath::display(parts)) + ".\r\n";
}

// A line end inside a name would break every listing that shows it apart.
bool badName(const QByteArray& argument)
{
    return argument.contains('\r') || argument.contains('\n');
}

bool digitsOnly(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// LIST takes "ls" options ("-a", "-l", "-la") from some clients: they are not names.
QByteArray withoutOptions(QByteArray argument)
{
    while (argument.startsWith('-')) {
        const qsizetype blank = argument.indexOf(' ');
        argument = blank < 0 ? QByteArray() : argument.mid(blank + 1);
        while (argument.startsWith(' '))
            argument.remove(0, 1);
    }
    return argument;
}

// ABOR, also as clients send it urgently: the Telnet "interrupt process" and "synch" before it
// (IAC IP IAC DM, kept in line by the control connection) are gone with the line reader's
// Telnet bytes.
bool isAbort(const QByteArray& line)
{
    return line.trimmed().toUpper() == "ABOR";
}

} // namespace

FtpCmdSession::FtpCmdSession(QTcpSocket* control, const FtpServerConfig& config, FtpCmdServer& server)
    : m_server(server)
    , m_control(control)
    , m_peer(control->peerAddress())
    , m_config(config)
    , m_root(QDir::cleanPath(config.root))
    , m_hidden(config.hiddenPaths)
    , m_template150(Reply150Binary)
    , m_tls(config.tls == TlsUse::Off ? nullptr : FtpTlsContext::create(config.tlsIdentity))
{
    m_control->setParent(this);
    m_control->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    // Replies go out at once: a 226 written while the 150 is still unacknowledged would otherwise
    // wait for the client's delayed acknowledgement, up to 40 ms after the 150.
    m_control->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    ftpKeepUrgentInline(m_control->socketDescriptor());
    connect(m_control, &QTcpSocket::readyRead, this, &FtpCmdSession::slReadClient);
    connect(m_control, &QTcpSocket::disconnected, this, &FtpCmdSession::slDisconnected);
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &FtpCmdSession::slIdle);
    m_idle.start(m_config.idleTimeoutMs);
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, &FtpCmdSession::slSettled);
    m_refuse.setSingleShot(true);
    connect(&m_refuse, &QTimer::timeout, this, [this] {
        reply(ReplyNotLoggedIn);
        closeControl();
    });
    // Counted from the connection: a client that sends lines without logging in still goes, and
    // going without a login counts as a wrong password.
    m_loginDeadline.setSingleShot(true);
    connect(&m_loginDeadline, &QTimer::timeout, this, [this] {
        if (m_login == LoggedIn || m_login == Refused || m_login == Checking)
            return; // the server's own delays do not count against the client
        m_server.loginFailed(m_peer);
        reply(ReplyLoginTimeout);
        closeControl();
    });
    m_loginDeadline.start(m_config.loginTimeoutMs);
    m_check.setSingleShot(true);
    connect(&m_check, &QTimer::timeout, this, [this] {
        checkPassword(std::exchange(m_password, QByteArray()));
        runQueued();
    });
    ftpLog("FTP Server new connection: " + m_peer.toString().toLatin1());
    reply(ReplyWelcome);
}

FtpCmdSession::~FtpCmdSession()
{
    disconnect(m_control, nullptr, this, nullptr);
    m_dat.reset();
    m_upload.reset();
    m_control->abort();
}

// ---- The control connection ----------------------------------------------------------------

void FtpCmdSession::slReadClient()
{
    QList<FtpLineReader::Line> lines;
    const bool speaking = m_reader.feed(m_control->readAll(), lines);
    m_queued += lines;
    runQueued();
    if (!speaking && !m_closing && !m_gone) {
        ftpLog("FTP Server: no line end from " + m_peer.toString().toLatin1() + ", client disconnected");
        m_closing = true;
        m_control->abort();
    }
}

bool FtpCmdSession::holdsSlot() const
{
    return !m_closing && !m_gone && m_login != Refused
        && ftpTcpState(m_control->socketDescriptor()) == FtpTcpState::Open;
}

void FtpCmdSession::runQueued()
{
    while (!m_queued.isEmpty() && !m_closing && !m_gone && m_login != Checking) {
        // An upload waiting to be put in place is answered before the commands after it; only ABOR
        // overtakes it, to discard it.
        if (m_settling) {
            const auto abort = std::find_if(m_queued.begin(), m_queued.end(),
                [](const FtpLineReader::Line& line) { return !line.tooLong && isAbort(line.text); });
            if (abort == m_queued.end())
                return;
            const QByteArray text = abort->text;
            m_queued.erase(abort);
            command(text);
            continue;
        }
        const FtpLineReader::Line line = m_queued.takeFirst();
        if (line.tooLong) {
            m_idle.start(m_config.idleTimeoutMs);
            reply(ReplySyntax);
        } else {
            command(line.text);
        }
    }
}

void FtpCmdSession::reply(const QByteArray& text)
{
    if (m_closing || m_gone || m_control->state() != QAbstractSocket::ConnectedState)
        return;
    // The control connection is a Telnet stream: a 0xFF in a name is sent doubled.
    QByteArray wire = text;
    m_control->write(wire.replace("\xff", "\xff\xff"));
    if (m_config.trace & FtpTrace::Commands)
        ftpLog("<<< " + text.chopped(2));
    if (m_control->bytesToWrite() > MaxUnreadReplies) {
        // Cut on the next turn of the loop: the command being answered is still running.
        ftpLog("FTP Server: replies not read by " + m_peer.toString().toLatin1() + ", client disconnected");
        m_closing = true;
        QTimer::singleShot(0, m_control, &QTcpSocket::abort);
    }
}

void FtpCmdSession::closeControl()
{
    if (m_closing || m_gone)
        return;
    m_closing = true;
    endData();
    m_idle.stop();
    m_control->disconnectFromHost(); // delivers the last reply first
    if (!m_gone && m_control->state() != QAbstractSocket::UnconnectedState)
        m_idle.start(CloseGraceMs);
}

void FtpCmdSession::slIdle()
{
    if (m_closing) {
        m_control->abort();
        return;
    }
    reply(ReplyTimeout);
    closeControl();
}

void FtpCmdSession::slDisconnected()
{
    if (m_gone)
        return;
    m_gone = true;
    ftpLog("FTP Server disconnection.");
    m_idle.stop();
    m_refuse.stop();
    m_loginDeadline.stop();
    m_check.stop();
    endData();
    emit finished();
}

void FtpCmdSession::command(const QByteArray& line)
{
    m_idle.start(m_config.idleTimeoutMs);
    const qsizetype blank = line.indexOf(' ');
    const QByteArray word = isAbort(line) ? QByteArray("ABOR") : (blank < 0 ? line : line.left(blank)).toUpper();
    const QByteArray argument = blank < 0 ? QByteArray() : line.mid(blank + 1);
    if (m_config.trace & FtpTrace::Commands)
        ftpLog(">>> " + (word == "PASS" ? QByteArray("PASS ****") : line));

    if (word == "QUIT") {
        reply(ReplyGoodbye);
        closeControl();
        return;
    }
    if (m_login != Refused && m_login != Checking && securityCommand(word, argument))
        return;
    switch (m_login) {
    case Refused:
    case Checking:
        return; // the refusal follows after its delay
    case Greeted:
    case UserGiven:
        if (word == "USER" && !clearLoginAllowed()) {
            return;
        } else if (word == "USER") {
            m_userName = argument;
            m_login = UserGiven;
            reply(ReplyNeedPassword);
        } else if (word == "PASS" && m_login == UserGiven) {
            // While passwords are being guessed from many addresses, each is checked only after a
            // delay, with the slot held: one guess at a time, however many addresses.
            const int delay = m_server.checkDelay();
            if (delay > 0) {
                m_login = Checking;
                m_password = argument;
                m_check.start(delay);
            } else {
                checkPassword(argument);
            }
        } else {
            reply(ReplySyntax);
        }
        return;
    case LoggedIn:
        break;
    }

    static const struct {
        const char* word;
        Handler run;
    } commands[] = {
        { "SYST", &FtpCmdSession::cmdSyst },
        { "FEAT", &FtpCmdSession::cmdFeat },
        { "NOOP", &FtpCmdSession::cmdNoop },
        { "REST", &FtpCmdSession::cmdRest },
        { "PWD", &FtpCmdSession::cmdPwd },
        { "XPWD", &FtpCmdSession::cmdPwd },
        { "CWD", &FtpCmdSession::cmdCwd },
        { "XCWD", &FtpCmdSession::cmdCwd },
        { "CDUP", &FtpCmdSession::cmdCdup },
        { "XCUP", &FtpCmdSession::cmdCdup },
        { "TYPE", &FtpCmdSession::cmdType },
        { "SIZE", &FtpCmdSession::cmdSize },
        { "MDTM", &FtpCmdSession::cmdMdtm },
        { "DELE", &FtpCmdSession::cmdDele },
        { "RNFR", &FtpCmdSession::cmdRnfr },
        { "RNTO", &FtpCmdSession::cmdRnto },
        { "MKD", &FtpCmdSession::cmdMkd },
        { "XMKD", &FtpCmdSession::cmdMkd },
        { "RMD", &FtpCmdSession::cmdRmd },
        { "XRMD", &FtpCmdSession::cmdRmd },
        { "PASV", &FtpCmdSession::cmdPasv },
        { "PORT", &FtpCmdSession::cmdPort },
        { "LIST", &FtpCmdSession::cmdList },
        { "NLST", &FtpCmdSession::cmdNlst },
        { "RETR", &FtpCmdSession::cmdRetr },
        { "STOR", &FtpCmdSession::cmdStor },
        { "APPE", &FtpCmdSession::cmdAppe },
        { "ABOR", &FtpCmdSession::cmdAbor },
    };
    for (const auto& entry : commands) {
        if (word == entry.word) {
            (this->*entry.run)(argument);
            return;
        }
    }
    reply(ReplySyntax);
}

void FtpCmdSession::checkPassword(const QByteArray& password)
{
    // An empty configured password would let anyone on the shop's network in: nobody logs in then.
    if (m_userName == m_config.userName && password == m_config.passWord && !m_config.passWord.isEmpty()) {
        m_server.loginSucceeded(m_peer);
        m_login = LoggedIn;
        m_loginDeadline.stop();
        reply(ReplyLoggedIn);
    } else {
        // Answered later, and later again for each failure from the address, and the session ends:
        // guessing passwords on a shop's network takes too long to pay.
        m_login = Refused;
        m_refuse.start(m_server.loginFailed(m_peer));
    }
}

// ---- Names and folders -----------------------------------------------------------------------

bool FtpCmdSession::resolve(const QByteArray& argument, QStringList& parts) const
{
    return FtpPath::resolve(m_cwd, toUi(argument), parts);
}

QString FtpCmdSession::localPath(const QStringList& parts) const
{
    return FtpPath::local(m_root, parts);
}

void FtpCmdSession::cmdSyst(const QByteArray&)
{
    reply(ReplySystem);
}

void FtpCmdSession::cmdFeat(const QByteArray&)
{
    reply(!m_tls ? ReplyFeatures : ReplyFeaturesTls);
}

void FtpCmdSession::cmdNoop(const QByteArray&)
{
    reply(ReplyOk);
}

void FtpCmdSession::cmdRest(const QByteArray& argument)
{
    // Kept for the next RETR or STOR, which start there: a resuming client must get what it asked.
    bool ok = digitsOnly(argument) && argument.size() <= 18;
    const qint64 offset = ok ? argument.toLongLong(&ok) : 0;
    if (!ok) {
        reply(ReplyBadParameter);
        return;
    }
    m_restOffset = offset;
    reply("350 Restarting at " + QByteArray::number(offset) + ". Send STORE or RETRIEVE.\r\n");
}

void FtpCmdSession::cmdPwd(const QByteArray&)
{
    reply(quoted("257", fromUi(FtpPath::display(m_cwd)), "is current directory."));
}

void FtpCmdSession::cmdCwd(const QByteArray& argument)
{
    QStringList parts;
    if (!resolve(argument, parts) || !QFileInfo(localPath(parts)).isDir()) {
        reply(notFound(argument));
        return;
    }
    m_cwd = parts;
    reply(folderChanged(m_cwd));
}

void FtpCmdSession::cmdCdup(const QByteArray&)
{
    if (!m_cwd.isEmpty())
        m_cwd.removeLast();
    reply(folderChanged(m_cwd));
}

void FtpCmdSession::cmdType(const QByteArray& argument)
{
    if (argument == "I")
        m_template150 = Reply150Binary;
    else if (argument == "A" || argument == "A N")
        m_template150 = Reply150Ascii;
    else {
        reply(ReplyBadParameter);
        return;
    }
    reply("200 Type set to " + argument + ".\r\n");
}

void FtpCmdSession::cmdSize(const QByteArray& argument)
{
    QStringList parts;
    if (resolve(argument, parts)) {
        const QFileInfo info(localPath(parts));
        if (info.isFile() && served(info.filePath())) {
            reply("213 " + QByteArray::number(info.size()) + "\r\n");
            return;
        }
    }
    reply(notFound(argument));
}

void FtpCmdSession::cmdMdtm(const QByteArray& argument)
{
    QStringList parts;
    if (resolve(argument, parts)) {
        const QFileInfo info(localPath(parts));
        if (info.isFile() && served(info.filePath())) {
            const QDateTime time = info.lastModified().toUTC();
            reply("213 " + time.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() + "\r\n");
            return;
        }
    }
    reply(notFound(argument));
}

// What the office was told is done stays done after a power loss: the folder that holds the
// changed entry is flushed before the reply.
void FtpCmdSession::flushFolderOf(const QString& path)
{
    syncFolder(QFileInfo(path).absolutePath());
}

void FtpCmdSession::cmdDele(const QByteArray& argument)
{
    QStringList parts;
    if (resolve(argument, parts) && !parts.isEmpty()) {
        const QString path = localPath(parts);
        if (served(path) && !QFileInfo(path).isDir() && QFile::remove(path)) {
            flushFolderOf(path);
            reply(ReplyDeleted);
            return;
        }
    }
    reply(notFound(argument));
}

void FtpCmdSession::cmdRnfr(const QByteArray& argument)
{
    QStringList parts;
    if (resolve(argument, parts) && !parts.isEmpty()) {
        const QString path = localPath(parts);
        const QFileInfo info(path);
        if (info.isDir() && !info.isSymLink() && m_hidden.within(path)) {
            reply(ReplyNotTaken);
            return;
        }
        if (served(path) && (info.exists() || info.isSymLink())) {
            m_renameFrom = path;
            m_renamePending = true;
            reply(ReplyRenameReady);
            return;
        }
    }
    reply(notFound(argument));
}

void FtpCmdSession::cmdRnto(const QByteArray& argument)
{
    if (!m_renamePending) {
        reply(ReplySyntax);
        return;
    }
    m_renamePending = false;
    if (badName(argument)) {
        reply(ReplyBadName);
        return;
    }
    QStringList parts;
    const bool named = resolve(argument, parts) && !parts.isEmpty();
    const QString target = named ? localPath(parts) : QString();
    // An existing file is replaced in one step, as clients that upload under a temporary name and
    // rename it expect: there is never a moment without either file. A folder is never replaced.
    if (named && served(target) && !QFileInfo(target).isDir()
        && ::rename(QFile::encodeName(m_renameFrom).constData(), QFile::encodeName(target).constData()) == 0) {
        flushFolderOf(m_renameFrom);
        flushFolderOf(target);
        reply(ReplyRenamed);
    } else {
        reply(ReplyNotTaken);
    }
}

void FtpCmdSession::cmdMkd(const QByteArray& argument)
{
    if (badName(argument)) {
        reply(ReplyBadName);
        return;
    }
    QStringList parts;
    if (resolve(argument, parts) && !parts.isEmpty() && served(localPath(parts)) && makeFolders(parts)) {
        reply(quoted("257", argument, "directory created."));
    } else {
        reply(ReplyNotTaken);
    }
}

// Each missing level is made and its name flushed into its parent before the next: a file the
// office is told is stored below them is reachable after a power loss.
bool FtpCmdSession::makeFolders(const QStringList& parts) const
{
    QStringList made;
    for (const QString& part : parts) {
        made.append(part);
        const QString path = localPath(made);
        if (QFileInfo(path).isDir())
            continue;
        // No level takes the name of a hidden file (a folder there would keep it from being written).
        if (!served(path) || !QDir().mkdir(path) || !syncFolder(QFileInfo(path).absolutePath()))
            return false;
    }
    return true;
}

void FtpCmdSession::cmdRmd(const QByteArray& argument)
{
    QStringList parts;
    if (resolve(argument, parts) && !parts.isEmpty() && !m_hidden.within(localPath(parts))
        && QDir().rmdir(localPath(parts))) {
        flushFolderOf(localPath(parts));
        reply(quoted("257", argument, "directory deleted."));
    } else {
        reply(ReplyNotTaken);
    }
}

// ---- Data connections --------------------------------------------------------------------------

bool FtpCmdSession::mayReplaceSetUp()
{
    if (m_dat && m_dat->usable()) {
        reply(ReplyBadSequence);
        return false;
    }
    // A set-up whose connection is gone or never came can serve nothing: it makes way.
    endData();
    return true;
}

void FtpCmdSession::adopt(std::unique_ptr<FtpDatChannel> dat)
{
    // The data connection to come may resume the control connection's TLS session: a client that
    // uses each TLS 1.3 ticket once gets a fresh one for it, ahead of the reply.
    if (auto* tls = qobject_cast<FtpTlsSocket*>(m_control); tls && m_protected)
        tls->sendSessionTicket();
    m_dat = std::move(dat);
    connect(m_dat.get(), &FtpDatChannel::snDatConnected, this, &FtpCmdSession::slDatConnected);
    connect(m_dat.get(), &FtpDatChannel::snEndOfTransfer, this, &FtpCmdSession::slEndOfTransfer);
    connect(m_dat.get(), &FtpDatChannel::snActivity, this, [this] {
        if (!m_closing)
            m_idle.start(m_config.idleTimeoutMs);
        if (m_upload)
            m_upload->writeBehind(m_config.writeBehindBytes);
    });
}

void FtpCmdSession::cmdPasv(const QByteArray&)
{
    if (!clearDataAllowed() || !mayReplaceSetUp())
        return;
    // Listening comes first: the 227 reply promises a port that is open.
    bool ipv4 = false;
    const quint32 address = m_control->localAddress().toIPv4Address(&ipv4);
    std::unique_ptr<FtpDatServer> dat
        = ipv4 ? m_server.openPassive(m_peer, dataOptions()) : std::unique_ptr<FtpDatServer>();
    if (!dat) {
        reply(ReplyCantOpen);
        return;
    }
    const quint16 port = dat->port();
    adopt(std::move(dat));
    QByteArray text = "227 Entering Passive Mode (";
    for (int shift = 24; shift >= 0; shift -= 8)
        text += QByteArray::number((address >> shift) & 0xff) + ',';
    text += QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256) + ")\r\n";
    reply(text);
}

void FtpCmdSession::cmdPort(const QByteArray& argument)
{
    if (!clearDataAllowed() || !mayReplaceSetUp())
        return;
    static const QRegularExpression digitRuns(QStringLiteral("\\d+"));
    QList<quint32> numbers;
    auto runs = digitRuns.globalMatch(QString::fromLatin1(argument));
    while (runs.hasNext()) {
        const QString run = runs.next().captured();
        numbers.append(run.size() > 3 ? 256u : run.toUInt());
    }
    if (numbers.size() != 6) {
        reply(ReplySyntax);
        return;
    }
    // Data goes only to the control client itself: the server must not be used to reach other
    // hosts or privileged ports.
    quint32 host = 0;
    bool sane = true;
    for (int i = 0; i < 6; ++i)
        sane = sane && numbers[i] <= 255;
    for (int i = 0; i < 4; ++i)
        host = (host << 8) | numbers[i];
    const quint32 port = numbers[4] * 256 + numbers[5];
    const QHostAddress target(host);
    if (!sane || port < 1024 || !target.isEqual(m_peer, QHostAddress::ConvertV4MappedToIPv4)) {
        reply(ReplyIllegalPort);
        return;
    }
    adopt(std::make_unique<FtpDatSocket>(target, quint16(port), dataOptions()));
    reply(ReplyPortOk);
}

bool FtpCmdSession::dataCommandAllowed()
{
    if (m_dat && m_datCmd == FtpDatCmd::None)
        return true;
    reply(ReplySyntax);
    return false;
}

void FtpCmdSession::cmdList(const QByteArray& argument)
{
    list(argument, false);
}

void FtpCmdSession::cmdNlst(const QByteArray& argument)
{
    list(argument, true);
}

void FtpCmdSession::list(const QByteArray& argument, bool namesOnly)
{
    if (!dataCommandAllowed())
        return;
    m_restOffset = 0;
    const QByteArray target = withoutOptions(argument);
    const QString text = toUi(target);
    FtpListing listing;
    bool found = false;
    QStringList parts;
    if (text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'))) {
        // A pattern selects among the names of its folder.
        const qsizetype cut = qMax(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
        const QString pattern = text.mid(cut + 1);
        found = FtpPath::resolve(m_cwd, text.left(cut + 1), parts)
            && ftpListFolder(localPath(parts), pattern, m_hidden, listing);
    } else if (resolve(target, parts)) {
        const QString path = localPath(parts);
        found = QFileInfo(path).isDir() ? ftpListFolder(path, QString(), m_hidden, listing)
                                        : ftpListEntry(path, m_hidden, listing);
    }
    if (!found) {
        // A listing cut short by the server's stop is not answered: the session ends with it.
        if (!QThread::currentThread()->isInterruptionRequested())
            reply(notFound(target));
        endData();
        return;
    }
    for (const QString& name : std::as_const(listing.unlisted))
        ftpLog("   List: name not in Windows-1251, left out: " + QUrl::toPercentEncoding(name));
    auto buffer = std::make_unique<QBuffer>();
    for (const QByteArray& entry : std::as_const(namesOnly ? listing.names : listing.lines)) {
        const QByteArray line = namesOnly ? entry + "\r\n" : entry;
        buffer->buffer() += line;
        if (m_config.trace & FtpTrace::ListLines)
            ftpLog("   List " + line.chopped(2));
    }
    buffer->open(QIODevice::ReadOnly);
    startData(FtpDatCmd::List, argument + "/bin/1s", std::move(buffer), nullptr);
}

void FtpCmdSession::cmdRetr(const QByteArray& argument)
{
    if (!dataCommandAllowed())
        return;
    const qint64 offset = std::exchange(m_restOffset, 0);
    QStringList parts;
    std::unique_ptr<QFile> file;
    if (resolve(argument, parts)) {
        const QString path = localPath(parts);
        if (QFileInfo(path).isFile() && served(path)) {
            file = std::make_unique<QFile>(path);
            if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !file->seek(offset))
                file.reset();
        }
    }
    // A restart beyond the end would send nothing and pass for a finished file.
    if (file && offset > file->size()) {
        reply(ReplyBadRestart);
        endData();
        return;
    }
    // Refused before any data flows: an empty transfer would pass for an empty file.
    if (!file) {
        reply(notFound(argument));
        endData();
        return;
    }
    startData(FtpDatCmd::Retr, argument, std::move(file), nullptr);
}

void FtpCmdSession::cmdStor(const QByteArray& argument)
{
    store(argument, FtpDatCmd::Stor);
}

void FtpCmdSession::cmdAppe(const QByteArray& argument)
{
    store(argument, FtpDatCmd::Appe);
}

void FtpCmdSession::store(const QByteArray& argument, FtpDatCmd cmd)
{
    if (!dataCommandAllowed())
        return;
    const qint64 offset = std::exchange(m_restOffset, 0);
    if (badName(argument)) {
        reply(ReplyBadName);
        endData();
        return;
    }
    QStringList parts;
    std::unique_ptr<FtpUpload> upload;
    // The root itself, a folder and the hidden files are never stored over.
    if (resolve(argument, parts) && !parts.isEmpty()) {
        const QString path = localPath(parts);
        if (served(path) && !QFileInfo(path).isDir()) {
            upload = std::make_unique<FtpUpload>(path, cmd == FtpDatCmd::Appe ? FtpUpload::Append : FtpUpload::Replace);
            if (!upload->open(cmd == FtpDatCmd::Stor ? offset : 0))
                upload.reset();
        }
    }
    if (!upload) {
        reply(ReplyNotTaken);
        endData();
        return;
    }
    startData(cmd, argument, nullptr, std::move(upload));
}

void FtpCmdSession::startData(
    FtpDatCmd cmd, const QByteArray& name, std::unique_ptr<QIODevice> source, std::unique_ptr<FtpUpload> upload)
{
    m_datCmd = cmd;
    m_source = std::move(source);
    m_upload = std::move(upload);
    m_reply150 = m_template150;
    m_reply150.insert(m_reply150.lastIndexOf('.'), name);
    m_sent150 = false;
    if (m_dat->connectionCame())
        send150();
    // Last: with the connection up the transfer may end within this call.
    m_dat->slDatCmd(cmd, m_upload ? m_upload->device() : m_source.get());
}

void FtpCmdSession::send150()
{
    if (!m_sent150) {
        m_sent150 = true;
        reply(m_reply150);
    }
}

void FtpCmdSession::slDatConnected()
{
    if (m_datCmd != FtpDatCmd::None)
        send150();
}

void FtpCmdSession::slEndOfTransfer(bool ok, const QByteArray& text)
{
    const FtpDatCmd cmd = std::exchange(m_datCmd, FtpDatCmd::None);
    std::unique_ptr<FtpUpload> upload = std::move(m_upload);
    endData();
    // Without a command, only an unused set-up timed out: it goes without a word.
    if (cmd == FtpDatCmd::None)
        return;
    if (ok && upload) {
        m_settling = std::move(upload);
        const qint64 roundTripUs = ftpMinRoundTripUs(m_control->socketDescriptor());
        m_settle.start(roundTripUs < 0
                ? CommitSettleMs
                : int(qBound(qint64(MinSettleMs), SettleRoundTrips * roundTripUs / 1000, qint64(CommitSettleMs))));
        return;
    }
    reply(ok ? ReplyComplete : text);
}

void FtpCmdSession::slSettled()
{
    std::unique_ptr<FtpUpload> upload = std::move(m_settling);
    if (!upload)
        return;
    // The end of the data is the end of the file only while the client is still there to be told:
    // one that died or hung up left a fragment, which goes with upload.
    if (m_closing || m_gone || ftpTcpState(m_control->socketDescriptor()) != FtpTcpState::Open) {
        ftpLog("FTP Server: client gone at the end of an upload, upload discarded: " + m_peer.toString().toLatin1());
        return;
    }
    if (m_config.trace & FtpTrace::DataChannel)
        ftpLog("   Putting the upload in place");
    if (upload->commit()) {
        reply(ReplyComplete);
    } else if (QThread::currentThread()->isInterruptionRequested()) {
        ftpLog("FTP Server stopped during an upload's flush, upload discarded.");
        return;
    } else {
        reply(ReplyLocalError);
    }
    runQueued();
}

void FtpCmdSession::cmdAbor(const QByteArray&)
{
    // A transfer in progress (or received and not yet put in place) is given up and answered 426,
    // then ABOR itself 226; without one, only the 226.
    const bool running = m_datCmd != FtpDatCmd::None || m_settling;
    endData();
    if (running)
        reply(ReplyAborted);
    reply(ReplyAbortDone);
}

void FtpCmdSession::endData()
{
    m_datCmd = FtpDatCmd::None;
    if (m_dat) {
        FtpDatChannel* dat = m_dat.release();
        disconnect(dat, nullptr, this, nullptr);
        dat->shutdown();
        // Possibly inside one of its own signals: deleted on the next turn of the loop.
        dat->deleteLater();
    }
    m_upload.reset(); // not committed: discarded
    m_settle.stop();
    m_settling.reset();
    m_source.reset();
}

// ---- TLS -------------------------------------------------------------------------------------

FtpDatChannel::Options FtpCmdSession::dataOptions() const
{
    FtpDatChannel::Options options;
    options.trace = m_config.trace;
    options.setupTimeoutMs = m_config.dataSetupTimeoutMs;
    options.encrypt = m_protected;
    options.tls = m_tls;
    return options;
}

bool FtpCmdSession::securityCommand(const QByteArray& word, const QByteArray& argument)
{
    if (word == "AUTH")
        cmdAuth(argument);
    else if (word == "PBSZ")
        cmdPbsz(argument);
    else if (word == "PROT")
        cmdProt(argument);
    else
        return false;
    return true;
}

bool FtpCmdSession::clearLoginAllowed()
{
    if (m_secure || m_config.tls != TlsUse::Required)
        return true;
    // Refused before the password can follow in clear.
    reply(ReplyTlsFirst);
    return false;
}

bool FtpCmdSession::clearDataAllowed()
{
    if (m_protected || m_config.tls != TlsUse::Required)
        return true;
    reply(ReplyClearDataRefused);
    return false;
}

void FtpCmdSession::cmdAuth(const QByteArray& argument)
{
    const QByteArray mechanism = argument.trimmed().toUpper();
    auto* tls = qobject_cast<FtpTlsSocket*>(m_control);
    if (!m_tls || !tls) {
        reply(ReplyNoTls);
        return;
    }
    if (m_secure || m_dat || m_settling) {
        reply(ReplyBadSequence);
        return;
    }
    if (mechanism != "TLS" && mechanism != "TLS-C" && mechanism != "SSL") {
        reply(ReplyUnknownMechanism);
        return;
    }
    reply(ReplyAuthOk);
    if (m_closing || m_gone)
        return;
    // Whatever came in clear behind AUTH was never meant to be protected: it is dropped, not run
    // as if it had come over TLS.
    m_queued.clear();
    m_reader.clear();
    m_secure = true;
    connect(tls, &QAbstractSocket::errorOccurred, this, [this, tls](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            ftpLog("FTP Server TLS: " + tls->errorString().toLocal8Bit() + ": " + m_peer.toString().toLatin1());
    });
    if (!tls->startServerEncryption(m_tls, FtpTlsSocket::Role::Control)) {
        // Nothing more may go in clear: the client is cut on the next turn of the loop.
        ftpLog("FTP Server TLS: cannot start: " + m_peer.toString().toLatin1());
        m_closing = true;
        QTimer::singleShot(0, m_control, &QTcpSocket::abort);
    }
}

void FtpCmdSession::cmdPbsz(const QByteArray& argument)
{
    if (!m_secure) {
        reply(ReplyBadSequence);
        return;
    }
    // TLS has no buffer of its own: every size is answered with 0.
    Q_UNUSED(argument)
    m_bufferSizeGiven = true;
    reply("200 PBSZ=0\r\n");
}

void FtpCmdSession::cmdProt(const QByteArray& argument)
{
    if (!m_secure || !m_bufferSizeGiven) {
        reply(ReplyBadSequence);
        return;
    }
    const QByteArray level = argument.trimmed().toUpper();
    if (level == "P") {
        m_protected = true;
    } else if (level == "C") {
        if (m_config.tls == TlsUse::Required) {
            reply(ReplyClearDataPolicy);
            return;
        }
        m_protected = false;
    } else {
        reply(level == "S" || level == "E" ? ReplyProtUnsupported : ReplyBadParameter);
        return;
    }
    reply("200 Protection level set to " + level + ".\r\n");
}
