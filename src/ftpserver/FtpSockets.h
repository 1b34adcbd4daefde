#pragma once

#include <QSslConfiguration>
#include <QTcpServer>

class QSslSocket;
class QTcpSocket;
struct FtpTlsIdentity;

// Every socket of the FTP server, control and data, accepted or connected, is a QSslSocket made
// here, so that any of them can be secured later (AUTH TLS on the control connection, PROT P on
// the data connections); until then it is a plain TCP socket.
QSslSocket* ftpNewSocket(QObject* parent);
// The bytes written to socket and not yet handed to the kernel, encrypted or not.
qint64 ftpUnsent(const QTcpSocket* socket);
// The server side of the TLS sessions: the terminal's key and certificate, no client certificate
// asked for; null for a null identity.
QSslConfiguration ftpServerTls(const FtpTlsIdentity& identity);

// A listener whose accepted connections come from ftpNewSocket().
class FtpListener : public QTcpServer {
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override;
};
