#pragma once

#include "FtpDatChannel.h"

#include "FtpSockets.h"
#include <QHostAddress>

// The passive data connection: listens on the port PASV announced and takes the first connection
// from the control client's address; others are logged and refused.
class FtpDatServer : public FtpDatChannel {
    Q_OBJECT
public:
    FtpDatServer(const QHostAddress& client, const Options& options, QObject* parent = nullptr);

    // Listens on any IPv4 address; port 0 takes any free port. False with the error text.
    bool listen(quint16 port, QString& error);
    quint16 port() const { return m_listener.serverPort(); }

private slots:
    void slNewConnection();

private:
    void stopSetup() override;

    QHostAddress m_client;
    FtpListener m_listener;
};
