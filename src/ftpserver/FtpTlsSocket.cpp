#include "FtpTlsSocket.h"

#include "FtpTlsContext.h"

#include <QVariant>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <climits>
#include <cstring>

namespace {

constexpr qint64 ChunkBytes = 64 * 1024;

// OpenSSL's reason for the last failure of this thread, or what.
QByteArray openSslError(const QByteArray& what)
{
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0)
        return what;
    char text[256];
    ERR_error_string_n(code, text, sizeof(text));
    return what + ": " + text;
}

} // namespace

FtpTlsSocket::FtpTlsSocket(QObject* parent)
    : QTcpSocket(parent)
    , m_tcp(new QTcpSocket(this))
{
    connect(m_tcp, &QTcpSocket::connected, this, &FtpTlsSocket::tcpConnected);
    connect(m_tcp, &QTcpSocket::stateChanged, this, &FtpTlsSocket::tcpStateChanged);
    connect(m_tcp, &QTcpSocket::errorOccurred, this, &FtpTlsSocket::tcpError);
    connect(m_tcp, &QTcpSocket::readyRead, this, &FtpTlsSocket::tcpReadyRead);
    connect(m_tcp, &QTcpSocket::bytesWritten, this, &FtpTlsSocket::tcpBytesWritten);
    connect(m_tcp, &QTcpSocket::disconnected, this, &FtpTlsSocket::tcpDisconnected);
}

FtpTlsSocket::~FtpTlsSocket()
{
    disconnect(m_tcp, nullptr, this, nullptr);
    // QAbstractSocket's own clean-up has no connection of its own to close.
    setSocketState(UnconnectedState);
    keepSession();
    SSL_free(m_ssl);
}

// ---- The TCP connection ----------------------------------------------------------------------

qintptr FtpTlsSocket::socketDescriptor() const
{
    return m_tcp->socketDescriptor();
}

bool FtpTlsSocket::setSocketDescriptor(qintptr descriptor, SocketState state, OpenMode mode)
{
    if (!m_tcp->setSocketDescriptor(descriptor, state, mode)) {
        setSocketError(m_tcp->error());
        setErrorString(m_tcp->errorString());
        return false;
    }
    takeOver(mode);
    return true;
}

void FtpTlsSocket::connectToHost(const QString& hostName, quint16 port, OpenMode mode, NetworkLayerProtocol protocol)
{
    m_tcp->connectToHost(hostName, port, mode, protocol);
}

void FtpTlsSocket::takeOver(OpenMode mode)
{
    setPeerAddress(m_tcp->peerAddress());
    setPeerPort(m_tcp->peerPort());
    setPeerName(m_tcp->peerName());
    setLocalAddress(m_tcp->localAddress());
    setLocalPort(m_tcp->localPort());
    setSocketState(m_tcp->state());
    // Unbuffered: every read comes to readData(), whose bytes are the decrypted ones.
    QIODevice::open(mode | QIODevice::Unbuffered);
}

void FtpTlsSocket::tcpConnected()
{
    takeOver(m_tcp->openMode() & ~QIODevice::Unbuffered);
    emit connected();
}

void FtpTlsSocket::tcpStateChanged(SocketState state)
{
    if (state == this->state())
        return;
    setSocketState(state);
    emit stateChanged(state);
}

void FtpTlsSocket::tcpError(SocketError error)
{
    setSocketError(error);
    setErrorString(m_tcp->errorString());
    emit errorOccurred(error);
}

void FtpTlsSocket::tcpReadyRead()
{
    if (m_ssl)
        pull(false);
    else
        emit readyRead();
}

void FtpTlsSocket::tcpBytesWritten(qint64 bytes)
{
    emit bytesWritten(bytes);
}

void FtpTlsSocket::tcpDisconnected()
{
    // Whatever came before the end is readable before the end is told.
    if (m_ssl)
        pull(true);
    tcpStateChanged(UnconnectedState);
    emit disconnected();
}

void FtpTlsSocket::disconnectFromHost()
{
    if (m_ssl && m_encrypted && !m_failed && !m_closeSent && m_tcp->state() == ConnectedState) {
        m_closeSent = true;
        ERR_clear_error();
        SSL_shutdown(m_ssl);
        sendTls();
    }
    m_tcp->disconnectFromHost();
}

void FtpTlsSocket::close()
{
    keepSession();
    QIODevice::close();
    m_received.clear();
    m_waiting.clear();
    m_tcp->abort();
    tcpStateChanged(UnconnectedState);
}

void FtpTlsSocket::setReadBufferSize(qint64 size)
{
    m_readLimit = size;
    m_tcp->setReadBufferSize(size);
}

void FtpTlsSocket::setSocketOption(SocketOption option, const QVariant& value)
{
    m_tcp->setSocketOption(option, value);
}

QVariant FtpTlsSocket::socketOption(SocketOption option)
{
    return m_tcp->socketOption(option);
}

qint64 FtpTlsSocket::bytesAvailable() const
{
    return QIODevice::bytesAvailable() + (m_ssl ? m_received.size() : m_tcp->bytesAvailable());
}

qint64 FtpTlsSocket::bytesToWrite() const
{
    return m_tcp->bytesToWrite() + m_waiting.size();
}

qint64 FtpTlsSocket::readData(char* data, qint64 maxSize)
{
    if (!m_ssl)
        return m_tcp->isReadable() ? m_tcp->read(data, maxSize) : qint64(-1);
    const qint64 n = qMin(maxSize, qint64(m_received.size()));
    std::memcpy(data, m_received.constData(), size_t(n));
    m_received.remove(0, n);
    // Room again: more is decrypted on the next turn of the event loop, which tells of it.
    if (!m_pullQueued && m_readLimit > 0 && m_received.size() < m_readLimit && m_tcp->bytesAvailable() > 0) {
        m_pullQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_pullQueued = false;
                pull(false);
            },
            Qt::QueuedConnection);
    }
    return n;
}

qint64 FtpTlsSocket::readLineData(char* data, qint64 maxSize)
{
    return QIODevice::readLineData(data, maxSize);
}

qint64 FtpTlsSocket::skipData(qint64 maxSize)
{
    return QIODevice::skipData(maxSize);
}

qint64 FtpTlsSocket::writeData(const char* data, qint64 size)
{
    if (!m_ssl)
        return m_tcp->write(data, size);
    if (m_failed || m_tcp->state() != ConnectedState)
        return -1;
    if (!m_encrypted) {
        m_waiting.append(data, size);
        return size;
    }
    return encrypt(data, size) ? size : qint64(-1);
}

// ---- TLS -------------------------------------------------------------------------------------

bool FtpTlsSocket::startServerEncryption(const std::shared_ptr<FtpTlsContext>& context, Role role)
{
    if (m_ssl || !context)
        return false;
    SSL* ssl = SSL_new(context->handle());
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (!ssl || !in || !out) {
        SSL_free(ssl);
        BIO_free(in);
        BIO_free(out);
        return false;
    }
    SSL_set_bio(ssl, in, out);
    SSL_set_accept_state(ssl);
    if (role == Role::Data)
        SSL_set_num_tickets(ssl, 0);
    m_context = context;
    m_ssl = ssl;
    // The client's first bytes may be here already.
    if (m_tcp->bytesAvailable() > 0)
        QMetaObject::invokeMethod(
            this, [this] { pull(false); }, Qt::QueuedConnection);
    return true;
}

void FtpTlsSocket::sendSessionTicket()
{
    if (!m_ssl || !m_encrypted || m_failed || m_closeSent || SSL_version(m_ssl) != TLS1_3_VERSION)
        return;
    ERR_clear_error();
    if (SSL_new_session_ticket(m_ssl) == 1)
        SSL_do_handshake(m_ssl);
    ERR_clear_error();
    sendTls();
}

void FtpTlsSocket::keepSession()
{
    // OpenSSL forgets the session of a connection that did not end with an alert each way, taking
    // it for one cut short. One the client ended with its alert ended in order, even when the
    // connection was gone before the server's alert could follow: its session (the control
    // connection's, for a data connection) stays resumable.
    if (m_ssl && m_encrypted && m_peerClosed)
        SSL_set_shutdown(m_ssl, SSL_get_shutdown(m_ssl) | SSL_SENT_SHUTDOWN);
}

bool FtpTlsSocket::isSessionReused() const
{
    return m_ssl && m_encrypted && SSL_session_reused(m_ssl) == 1;
}

void FtpTlsSocket::pull(bool all)
{
    if (!m_ssl || m_failed || !isOpen())
        return;
    const bool wasEncrypted = m_encrypted;
    const bool wasClosed = m_peerClosed;
    const qsizetype before = m_received.size();
    QByteArray raw;
    for (;;) {
        if (!m_encrypted && !handshake())
            return;
        if (m_encrypted && !m_peerClosed && !decrypt())
            return;
        if (m_peerClosed) {
            m_tcp->readAll(); // nothing may follow the alert
            break;
        }
        if (!all && m_readLimit > 0 && m_received.size() >= m_readLimit)
            break;
        const qint64 available = m_tcp->bytesAvailable();
        if (available <= 0)
            break;
        raw.resize(qMin(available, ChunkBytes));
        const qint64 n = m_tcp->read(raw.data(), raw.size());
        if (n <= 0)
            break;
        BIO_write(SSL_get_rbio(m_ssl), raw.constData(), int(n));
    }
    sendTls();
    if (m_encrypted && !wasEncrypted) {
        const QByteArray waiting = std::exchange(m_waiting, QByteArray());
        if (!waiting.isEmpty() && !encrypt(waiting.constData(), waiting.size()))
            return;
        emit encrypted();
    }
    // A receiver may close the socket in between: a closed one tells nothing more.
    if (m_received.size() > before && isOpen())
        emit readyRead();
    if (m_peerClosed && !wasClosed && isOpen())
        emit tlsClosed();
}

bool FtpTlsSocket::handshake()
{
    ERR_clear_error();
    const int r = SSL_do_handshake(m_ssl);
    if (r == 1) {
        m_encrypted = true;
        return true;
    }
    const int error = SSL_get_error(m_ssl, r);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return true;
    fail(SslHandshakeFailedError, "TLS handshake failed");
    return false;
}

bool FtpTlsSocket::decrypt()
{
    for (;;) {
        const qsizetype at = m_received.size();
        m_received.resize(at + 16 * 1024);
        ERR_clear_error();
        const int n = SSL_read(m_ssl, m_received.data() + at, int(m_received.size() - at));
        m_received.resize(at + qMax(n, 0));
        if (n > 0)
            continue;
        const int error = SSL_get_error(m_ssl, n);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            return true;
        if (error == SSL_ERROR_ZERO_RETURN) {
            m_peerClosed = true;
            return true;
        }
        fail(SslInternalError, "TLS error");
        return false;
    }
}

bool FtpTlsSocket::encrypt(const char* data, qint64 size)
{
    while (size > 0) {
        ERR_clear_error();
        const int n = SSL_write(m_ssl, data, int(qMin(size, qint64(INT_MAX / 2))));
        if (n <= 0) {
            fail(SslInternalError, "TLS error");
            return false;
        }
        data += n;
        size -= n;
    }
    sendTls();
    return true;
}

void FtpTlsSocket::sendTls()
{
    BIO* out = SSL_get_wbio(m_ssl);
    const size_t pending = BIO_ctrl_pending(out);
    if (pending == 0)
        return;
    QByteArray bytes(qsizetype(pending), Qt::Uninitialized);
    const int n = BIO_read(out, bytes.data(), int(bytes.size()));
    if (n > 0 && m_tcp->state() == ConnectedState)
        m_tcp->write(bytes.left(n));
}

void FtpTlsSocket::fail(SocketError error, const QByteArray& what)
{
    m_failed = true;
    const QByteArray text = openSslError(what);
    sendTls(); // an alert for the client, when OpenSSL made one
    setSocketError(error);
    setErrorString(QString::fromLatin1(text));
    emit errorOccurred(error);
    m_tcp->disconnectFromHost();
}
