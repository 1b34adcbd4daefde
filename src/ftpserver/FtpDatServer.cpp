#include "FtpDatServer.h"

#include <QTcpSocket>

FtpDatServer::FtpDatServer(const QHostAddress& client, const Options& options, QObject* parent)
    : FtpDatChannel(options, parent)
    , m_client(client)
{
    connect(&m_listener, &QTcpServer::newConnection, this, &FtpDatServer::slNewConnection);
}

bool FtpDatServer::listen(quint16 port, QString& error)
{
    if (m_listener.listen(QHostAddress::AnyIPv4, port))
        return true;
    error = m_listener.errorString();
    return false;
}

void FtpDatServer::slNewConnection()
{
    while (QTcpSocket* socket = m_listener.nextPendingConnection()) {
        QByteArray refusal;
        if (!usable() || isConnected())
            refusal = "   New data connection rejected: now connected.";
        else if (!socket->peerAddress().isEqual(m_client, QHostAddress::ConvertV4MappedToIPv4))
            refusal = "   New data connection rejected: wrong host.";
        if (refusal.isEmpty()) {
            attach(socket);
            continue;
        }
        log(refusal);
        socket->abort();
        socket->deleteLater();
    }
}

void FtpDatServer::stopSetup()
{
    m_listener.close();
}
