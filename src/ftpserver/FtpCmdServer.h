#pragma once

#include "FtpDatChannel.h"
#include "FtpServerConfig.h"
#include "FtpSockets.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <memory>
#include <vector>

class FtpCmdSession;
class FtpDatServer;

// The terminal's FTP server: listens on the control port and serves one client at a time (a
// second one is told so, logged and turned away). The client served may open a few more sessions
// of its own once it has logged in (some clients make a connection per transfer): from its
// address, each logging in by itself, as many as there are passive ports. What outlives a client
// lives here: the settings
// snapshot, the rotation of the three passive ports, the wrong passwords per address (an address
// still within its delay is turned away at connect) and of late from all addresses together.
class FtpCmdServer : public QObject {
    Q_OBJECT
public:
    static constexpr int PassivePorts = 3;
    static constexpr int MaxPassDelayMs = 30000;
    // Sessions that no longer hold the slot but still have a last word to say (a delayed 530, a
    // reply being delivered); beyond this many the oldest is cut.
    static constexpr int MaxLeaving = 8;
    // Sessions at once of the one client served.
    static constexpr int MaxSessions = PassivePorts;

    explicit FtpCmdServer(const FtpServerConfig& config, QObject* parent = nullptr);
    ~FtpCmdServer() override; // a client still served is cut, its upload discarded

    // Removes the upload temporaries a killed server left under the root, then listens on any IPv4
    // address; false (after serverError) when the port cannot be had.
    bool start();

    // A passive data listener on the next of the three ports that can be opened, or none (after
    // serverError "Data Server Error").
    std::unique_ptr<FtpDatServer> openPassive(const QHostAddress& client, const FtpDatChannel::Options& options);
    // How long to wait before refusing this wrong password: the first delay, doubled for each
    // earlier failure from the address, at most MaxPassDelayMs; the address is turned away at
    // connect until it has passed.
    int loginFailed(const QHostAddress& peer);
    void loginSucceeded(const QHostAddress& peer);
    // Whether peer is within the delay of its last wrong password.
    bool inPenalty(const QHostAddress& peer) const;
    // How long to hold back the check of a password: passDelayMs once failuresPerMinute
    // wrong passwords came within the last minute, from whatever addresses; otherwise 0.
    int checkDelay() const;

public slots:
    // New root, user, password and trace bits apply from the next connection on.
    void updateConfig(const FtpServerConfig& config);

signals:
    void serverError(const QString& title, const QString& text);
    void listening(quint16 port);

private slots:
    void slNewConnection();

private:
    struct Failures {
        int count = 0;
        qint64 until = 0; // m_clock time when the address may connect again
    };
    void turnAway(QTcpSocket* socket, const QByteArray& reply);
    QByteArray tlsPin() const; // of the key in force while TLS is on; empty otherwise
    void sessionFinished(FtpCmdSession* session);
    // Whether a connection from peer is the client served opening one more session.
    bool sameClient(const QHostAddress& peer) const;

    FtpServerConfig m_config;
    FtpListener m_listener;
    std::vector<std::unique_ptr<FtpCmdSession>> m_sessions; // of the client that holds the slot
    std::vector<std::unique_ptr<FtpCmdSession>> m_leaving;
    int m_passiveIndex = 0;
    QElapsedTimer m_clock;
    QHash<QString, Failures> m_failures;
    QList<qint64> m_recentFailures; // m_clock times of the latest wrong passwords, from any address
};
