#include "FtpDatChannel.h"

#include "FtpSocketState.h"
#include "FtpTlsSocket.h"
#include "FtpTrace.h"

#include <QFile>
#include <QIODevice>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sys/sendfile.h>

namespace {

const QByteArray ReplyCantOpen = "425 Can't open data connection.\r\n";
const QByteArray ReplyAborted = "426 Connection closed; transfer aborted.\r\n";
const QByteArray ReplyLocalError = "451 Requested action aborted: local error in processing.\r\n";

} // namespace

FtpDatChannel::FtpDatChannel(const Options& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
{
    m_setupTimer.setSingleShot(true);
    connect(&m_setupTimer, &QTimer::timeout, this, &FtpDatChannel::slSetupTimeout);
    m_setupTimer.start(m_options.setupTimeoutMs);
}

FtpDatChannel::~FtpDatChannel()
{
    shutdown();
}

void FtpDatChannel::log(const QByteArray& text) const
{
    if (m_options.trace & FtpTrace::DataChannel)
        ftpLog(text);
}

void FtpDatChannel::attach(QTcpSocket* socket)
{
    m_setupTimer.stop();
    m_socket = socket;
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    // Received data waits in the kernel rather than piling up here when the disk is slower.
    socket->setReadBufferSize(BlockBytes);
    connect(socket, &QTcpSocket::readyRead, this, &FtpDatChannel::slReadDat);
    connect(socket, &QTcpSocket::disconnected, this, &FtpDatChannel::slDisconnected);
    connect(socket, &QTcpSocket::bytesWritten, this, &FtpDatChannel::pump);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            m_broken = true;
    });
    m_watch = ftpDuplicateDescriptor(socket->socketDescriptor());
    m_phase = Connected;
    log("   New data connection: " + socket->peerAddress().toString().toLatin1() + ':'
        + QByteArray::number(socket->peerPort()));
    if (m_options.encrypt)
        secure();
    // The 150 reply goes now: clients begin the data connection's handshake only after it.
    emit snDatConnected();
    if (m_cmd != FtpDatCmd::None)
        run();
}

void FtpDatChannel::secure()
{
    auto* tls = qobject_cast<FtpTlsSocket*>(m_socket);
    if (!tls || !m_options.tls) {
        m_broken = true;
        return;
    }
    connect(tls, &FtpTlsSocket::encrypted, this, [this, tls] {
        m_secured = true;
        // Clients that offer the control connection's session get an abbreviated handshake.
        log(tls->isSessionReused() ? "   Data connection encrypted, session reused" : "   Data connection encrypted");
        if (m_cmd != FtpDatCmd::None)
            run();
    });
    // The client's TLS close alert is the end of what it sends, whatever TCP does next (a client
    // may reset the connection after it). A client that waits for the server's end after its alert
    // gets it, with the server's alert.
    connect(tls, &FtpTlsSocket::tlsClosed, this, [this] {
        if (!m_secured || m_tlsClosed)
            return;
        m_tlsClosed = true;
        log("   Data connection: TLS closed by the client");
        if (!sending() && ftpTcpState(m_watch) == FtpTcpState::Open) {
            ftpCloseDescriptor(m_watch);
            m_socket->disconnectFromHost();
        }
    });
    // TLS 1.3 as well: the data connection's socket sends no session tickets after its handshake,
    // which a client that closes an upload's connection with them unread would answer with a reset.
    if (!tls->startServerEncryption(m_options.tls, FtpTlsSocket::Role::Data))
        m_broken = true;
}

void FtpDatChannel::setupFailed()
{
    m_setupTimer.stop();
    if (m_cmd != FtpDatCmd::None)
        finish(false, ReplyCantOpen);
    else
        m_phase = Failed;
}

void FtpDatChannel::slDatCmd(FtpDatCmd cmd, QIODevice* file)
{
    m_cmd = cmd;
    m_file = file;
    switch (m_phase) {
    case Waiting:
        break;
    case Connected:
        run();
        break;
    case Closed:
        // The client closed the connection before the command arrived: what it sent is still
        // buffered, nothing can be sent any more.
        if (sending())
            finish(false, ReplyAborted);
        else if (drain())
            finish(!m_broken, ReplyAborted);
        break;
    case Failed:
        finish(false, ReplyCantOpen);
        break;
    case Done:
        break;
    }
}

void FtpDatChannel::run()
{
    if (!ready())
        return;
    if (sending())
        pump();
    else
        drain();
}

void FtpDatChannel::pump()
{
    if (!ready() || !sending() || m_sentAll || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (sendsFileDirectly()) {
        sendFile();
        return;
    }
    // Back-pressure: the next block goes out only when the socket has room for it.
    while (m_socket->bytesToWrite() < BlockBytes) {
        m_block.resize(BlockBytes);
        const qint64 n = m_file->read(m_block.data(), BlockBytes);
        if (n < 0) {
            finish(false, ReplyLocalError);
            return;
        }
        if (n == 0) {
            m_sentAll = true;
            // The second descriptor would hold the connection open past Qt's close.
            ftpCloseDescriptor(m_watch);
            // Closing after the buffered data is delivered ends the transfer (slDisconnected).
            m_socket->disconnectFromHost();
            return;
        }
        m_socket->write(m_block.constData(), n);
        if (m_options.trace & FtpTrace::DataBlocks)
            ftpLog("   <<< data " + QByteArray::number(n) + " bytes");
        emit snActivity();
    }
}

bool FtpDatChannel::sendsFileDirectly() const
{
    const auto* file = qobject_cast<const QFile*>(m_file);
    // Only bytes that go out as they are: a connection in TLS takes the ordinary path.
    const auto* tls = qobject_cast<const FtpTlsSocket*>(m_socket);
    const bool plain = !encrypted() && (!tls || !tls->usesTls());
    return m_cmd == FtpDatCmd::Retr && file && file->handle() >= 0 && m_watch >= 0 && plain
        && m_socket->bytesToWrite() == 0;
}

void FtpDatChannel::sendFile()
{
    const int in = static_cast<const QFile*>(m_file)->handle();
    if (m_sendAt < 0)
        m_sendAt = m_file->pos();
    // Written through the second descriptor of the connection (a notifier of its own does not
    // meet Qt's on the socket's). A client gone raises SIGPIPE for the writing thread: held back
    // here and taken away, so that only EPIPE tells of it.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &pipe, &before);
    qint64 sent = 0;
    int error = 0;
    for (;;) {
        off_t at = m_sendAt;
        // One block per call: on loopback 128 to 256 KiB per call sent 100 MB in about 37 ms, 1 MiB
        // in 43 ms and 64 KiB in 45 ms (probably as the socket stays locked through a call, and
        // the client's acknowledgements are taken only when it ends).
        const ssize_t n = ::sendfile(int(m_watch), in, &at, size_t(BlockBytes));
        if (n > 0) {
            m_sendAt = at;
            sent += n;
            // A fast client could keep the loop here for a large file: the event loop (ABOR, a
            // stop) gets its turn, and the notifier brings the loop back at once.
            if (sent < 16 * BlockBytes)
                continue;
            error = EAGAIN;
            break;
        }
        error = n == 0 ? 0 : errno;
        if (error != EINTR)
            break;
    }
    if (error == EPIPE) {
        const timespec now {};
        sigtimedwait(&pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (sent > 0) {
        if (m_options.trace & FtpTrace::DataBlocks)
            ftpLog("   <<< data " + QByteArray::number(sent) + " bytes");
        emit snActivity();
    }
    if (error == EAGAIN) {
        if (!m_sendReady) {
            m_sendReady = new QSocketNotifier(m_watch, QSocketNotifier::Write, this);
            connect(m_sendReady, &QSocketNotifier::activated, this, &FtpDatChannel::pump);
        }
        m_sendReady->setEnabled(true);
        return;
    }
    stopSendFile();
    if (error != 0) {
        m_broken = true;
        finish(false, ReplyAborted);
        return;
    }
    // All sent: closing ends the transfer (slDisconnected), as in pump().
    m_sentAll = true;
    ftpCloseDescriptor(m_watch);
    m_socket->disconnectFromHost();
}

void FtpDatChannel::stopSendFile()
{
    delete m_sendReady;
    m_sendReady = nullptr;
}

void FtpDatChannel::slReadDat()
{
    if (m_phase != Connected || m_cmd == FtpDatCmd::None)
        return; // before the command the data waits: it is the start of an upload
    if (sending())
        m_socket->readAll(); // nothing is expected from the client while sending
    else
        drain();
}

bool FtpDatChannel::drain()
{
    while (m_socket && m_socket->bytesAvailable() > 0) {
        m_block.resize(BlockBytes);
        const qint64 n = m_socket->read(m_block.data(), BlockBytes);
        if (n <= 0)
            break;
        if (m_file->write(m_block.constData(), n) != n) {
            finish(false, ReplyLocalError);
            return false;
        }
        if (m_options.trace & FtpTrace::DataBlocks)
            ftpLog("   <<< data " + QByteArray::number(n) + " bytes");
        emit snActivity();
    }
    return true;
}

void FtpDatChannel::slDisconnected()
{
    log("   Data disconnection");
    if (m_phase != Connected)
        return;
    // Qt reads a reset as an orderly end: a transfer cut half way would pass for a whole file.
    if (!sending() && !m_tlsClosed && ftpTcpState(m_watch) != FtpTcpState::PeerClosed) {
        m_broken = true;
        log("   Data connection reset");
    }
    stopSendFile();
    // An encrypted upload ends with the client's TLS close alert: a connection that ends without it
    // (or before its handshake) was cut, whatever TCP says.
    if (m_options.encrypt && (!m_secured || (!sending() && !m_tlsClosed)))
        m_broken = true;
    ftpCloseDescriptor(m_watch);
    if (m_cmd == FtpDatCmd::None) {
        m_phase = Closed;
        return;
    }
    if (sending()) {
        const bool ok = m_sentAll && !m_broken && m_socket->bytesToWrite() == 0;
        finish(ok, ok ? QByteArray() : ReplyAborted);
        return;
    }
    // The client's close ends an upload; its last bytes may still be in the buffer.
    if (drain())
        finish(!m_broken, m_broken ? ReplyAborted : QByteArray());
}

void FtpDatChannel::slSetupTimeout()
{
    if (m_phase == Waiting)
        finish(false, ReplyCantOpen);
}

void FtpDatChannel::finish(bool ok, const QByteArray& reply)
{
    if (m_phase == Done)
        return;
    shutdown();
    emit snEndOfTransfer(ok, reply);
}

void FtpDatChannel::shutdown()
{
    m_phase = Done;
    m_setupTimer.stop();
    m_file = nullptr;
    stopSetup();
    stopSendFile();
    ftpCloseDescriptor(m_watch);
    if (m_socket) {
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
    }
}
