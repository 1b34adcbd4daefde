#pragma once

#include "FtpDatChannel.h"
#include "FtpServerConfig.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <memory>

class FtpCmdSession;
class FtpDatServer;

// The terminal's FTP server: listens on the control port and serves one client at a time (a
// second one is logged and turned away). What outlives a client lives here: the settings
// snapshot, the rotation of the three passive ports and the count of wrong passwords per address.
class FtpCmdServer : public QObject {
    Q_OBJECT
public:
    static constexpr int PassivePorts = 3;
    static constexpr int MaxPassDelayMs = 30000;

    explicit FtpCmdServer(const FtpServerConfig& config, QObject* parent = nullptr);
    ~FtpCmdServer() override; // a client still served is cut, its upload discarded

    // Removes the upload temporaries a killed server left under the root, then listens on any IPv4
    // address; false (after serverError) when the port cannot be had.
    bool start();

    // A passive data listener on the next of the three ports that can be opened, or none (after
    // serverError "Data Server Error").
    std::unique_ptr<FtpDatServer> openPassive(const QHostAddress& client, const FtpDatChannel::Options& options);
    // How long to wait before refusing this wrong password: the first delay, doubled for each
    // earlier failure from the address, at most MaxPassDelayMs.
    int loginFailed(const QHostAddress& peer);
    void loginSucceeded(const QHostAddress& peer);

public slots:
    // New root, user, password and trace bits apply from the next connection on.
    void updateConfig(const FtpServerConfig& config);

signals:
    void serverError(const QString& title, const QString& text);
    void listening(quint16 port);

private slots:
    void slNewConnection();
    void slSessionFinished();

private:
    FtpServerConfig m_config;
    QTcpServer m_listener;
    std::unique_ptr<FtpCmdSession> m_session;
    int m_passiveIndex = 0;
    QHash<QString, int> m_failures;
};
