#include "FtpSockets.h"

#include "FtpTlsSocket.h"

#include <unistd.h>

FtpTlsSocket* ftpNewSocket(QObject* parent)
{
    return new FtpTlsSocket(parent);
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
