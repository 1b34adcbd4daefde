#include "FtpDatSocket.h"

#include "FtpSockets.h"
#include "FtpTlsSocket.h"

FtpDatSocket::FtpDatSocket(const QHostAddress& host, quint16 port, const Options& options, QObject* parent)
    : FtpDatChannel(options, parent)
    , m_connecting(ftpNewSocket(this))
{
    connect(m_connecting, &QTcpSocket::connected, this, &FtpDatSocket::slConnected);
    connect(m_connecting, &QTcpSocket::errorOccurred, this, &FtpDatSocket::slError);
    m_connecting->connectToHost(host, port);
}

void FtpDatSocket::slConnected()
{
    disconnect(m_connecting, nullptr, this, nullptr);
    attach(m_connecting);
}

void FtpDatSocket::slError(QAbstractSocket::SocketError)
{
    disconnect(m_connecting, nullptr, this, nullptr);
    m_connecting->abort();
    setupFailed();
}

void FtpDatSocket::stopSetup()
{
    disconnect(m_connecting, nullptr, this, nullptr);
    m_connecting->abort();
}
