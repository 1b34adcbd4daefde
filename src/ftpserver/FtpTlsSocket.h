#pragma once

#include <QByteArray>
#include <QTcpSocket>

#include <memory>

class FtpTlsContext;
struct ssl_st;

// A connection of the FTP server, control or data, that can be secured with TLS when the client
// asks (AUTH TLS, PROT P). It stands in front of a plain QTcpSocket that does the TCP work: until
// startServerEncryption() bytes pass through as they are; after it they go through OpenSSL in
// memory, with the TLS context of the FTP session, so that a data connection can resume the
// session of its control connection.
//
// Beyond QTcpSocket: bytesWritten() tells of bytes handed to the kernel (encrypted ones once in
// TLS) and bytesToWrite() counts every byte written and not yet handed over, encrypted or not.
// close() drops the connection at once, as abort() does. Received data stays readable after
// disconnected(), as with QTcpSocket.
class FtpTlsSocket : public QTcpSocket {
    Q_OBJECT
public:
    enum class Role { Control, Data };

    explicit FtpTlsSocket(QObject* parent = nullptr);
    ~FtpTlsSocket() override;

    // Starts the server's side of a handshake with the bytes the client sends next; bytes written
    // before go first, in clear; bytes written until encrypted() wait. A data connection gets no
    // session tickets: it is meant to resume its control connection's session, and a client that
    // ends an upload with tickets unread resets the connection. False when OpenSSL cannot start.
    bool startServerEncryption(const std::shared_ptr<FtpTlsContext>& context, Role role);
    // startServerEncryption() was called: no byte goes in clear any more.
    bool usesTls() const { return m_ssl != nullptr; }
    // TLS 1.3: sends the client one more session ticket now. A TLS 1.3 client resumes with each
    // ticket once; the control connection gives one before each data connection.
    void sendSessionTicket();
    // The handshake resumed an earlier session (an abbreviated handshake).
    bool isSessionReused() const;

    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;
    qintptr socketDescriptor() const override;
    bool setSocketDescriptor(
        qintptr descriptor, SocketState state = ConnectedState, OpenMode mode = ReadWrite) override;
    using QAbstractSocket::connectToHost;
    void connectToHost(const QString& hostName, quint16 port, OpenMode mode = ReadWrite,
        NetworkLayerProtocol protocol = AnyIPProtocol) override;
    // Sends the TLS close_notify alert first when the handshake is done.
    void disconnectFromHost() override;
    void close() override;
    void setReadBufferSize(qint64 size) override;
    void setSocketOption(SocketOption option, const QVariant& value) override;
    QVariant socketOption(SocketOption option) override;

signals:
    void encrypted(); // the handshake is done
    // The client ended its TLS session with a close_notify alert: all it sent has been received
    // (readyRead() told of it first), whatever TCP does next.
    void tlsClosed();

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 readLineData(char* data, qint64 maxSize) override;
    qint64 skipData(qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    void tcpConnected();
    void tcpStateChanged(SocketState state);
    void tcpError(SocketError error);
    void tcpReadyRead();
    void tcpBytesWritten(qint64 bytes);
    void tcpDisconnected();
    void takeOver(OpenMode mode);

    // Feeds what TCP received to OpenSSL and decrypts it; all: whatever the read buffer's size
    // (the connection has ended, everything must be read now).
    void pull(bool all);
    bool handshake();
    bool decrypt();
    bool encrypt(const char* data, qint64 size);
    void sendTls(); // hands what OpenSSL produced to TCP
    void fail(SocketError error, const QByteArray& what);
    void keepSession();

    QTcpSocket* m_tcp;
    std::shared_ptr<FtpTlsContext> m_context;
    ssl_st* m_ssl = nullptr;
    bool m_encrypted = false;
    bool m_peerClosed = false;
    bool m_failed = false;
    bool m_closeSent = false;
    bool m_pullQueued = false;
    qint64 m_readLimit = 0; // 0: no limit
    QByteArray m_received; // decrypted, not yet read
    QByteArray m_waiting; // written before the handshake ended, not yet encrypted
};
