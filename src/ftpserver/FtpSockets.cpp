#include "FtpSockets.h"

#include "FtpTlsSocket.h"

#include <unistd.h>

FtpTlsSocket* ftpNewSocket(QObject* parent)
{
    return new FtpTlsSocket(parent);
}

qint64 ftpUnsent(const QTcpSocket* socket)
{
    // An FtpTlsSocket counts the bytes waiting for the handshake and the encrypted ones as well.
    return socket->bytesToWrite();
}

void FtpListener::incomingConnection(qintptr descriptor)
{
    FtpTlsSocket* socket = ftpNewSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(int(descriptor));
        return;
    }
    addPendingConnection(socket);
}
