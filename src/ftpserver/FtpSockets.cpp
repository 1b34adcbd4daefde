#include "FtpSockets.h"

#include "FtpTlsIdentity.h"

#include <QSslSocket>

#include <unistd.h>

QSslSocket* ftpNewSocket(QObject* parent)
{
    return new QSslSocket(parent);
}

qint64 ftpUnsent(const QTcpSocket* socket)
{
    const auto* tls = qobject_cast<const QSslSocket*>(socket);
    return socket->bytesToWrite() + (tls ? tls->encryptedBytesToWrite() : 0);
}

QSslConfiguration ftpServerTls(const FtpTlsIdentity& identity)
{
    if (identity.isNull())
        return QSslConfiguration();
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(identity.certificate);
    tls.setPrivateKey(identity.key);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    // Clients log in with a password; asking them for certificates only makes some fail.
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}

void FtpListener::incomingConnection(qintptr descriptor)
{
    QSslSocket* socket = ftpNewSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(int(descriptor));
        return;
    }
    addPendingConnection(socket);
}
