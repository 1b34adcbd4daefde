#pragma once

#include "FtpDatChannel.h"

#include <QAbstractSocket>
#include <QHostAddress>

class QTcpSocket;

// The active data connection: connects to the address and port PORT gave (the control client's own
// address, checked by the session).
class FtpDatSocket : public FtpDatChannel {
    Q_OBJECT
public:
    FtpDatSocket(const QHostAddress& host, quint16 port, const Options& options, QObject* parent = nullptr);

private slots:
    void slConnected();
    void slError(QAbstractSocket::SocketError error);

private:
    void stopSetup() override;

    QTcpSocket* m_connecting = nullptr;
};
