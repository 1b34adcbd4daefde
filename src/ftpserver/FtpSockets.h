#pragma once

#include <QTcpServer>

class FtpTlsSocket;
class QTcpSocket;

// Every socket of the FTP server, control and data, accepted or connected, is an FtpTlsSocket made
// here, so that any of them can be secured later (AUTH TLS on the control connection, PROT P on
// the data connections); until then it is a plain TCP socket.
FtpTlsSocket* ftpNewSocket(QObject* parent);

// A listener whose accepted connections come from ftpNewSocket().
class FtpListener : public QTcpServer {
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override;
};
