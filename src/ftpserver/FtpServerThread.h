#pragma once

#include "FtpServerConfig.h"

#include <QMutex>
#include <QThread>

#include <atomic>

class FtpCmdServer;

// The thread the terminal's FTP server runs in, with its own event loop. It starts from a settings
// snapshot and is handed a new one after each settings save; its notices reach the operator only
// through serverError, which the user-interface thread connects queued to its message box.
class FtpServerThread : public QThread {
    Q_OBJECT
public:
    explicit FtpServerThread(const FtpServerConfig& config, QObject* parent = nullptr);
    ~FtpServerThread() override; // stops and waits
    // Asks the thread to end and waits until it has: a listing or an upload's flush in progress is
    // interrupted, an upload not yet in place is discarded. The thread's work is done in bounded
    // pieces, so this takes about a second at most, whatever a client does.
    void stop();
    quint16 listeningPort() const; // 0 until listening (thread-safe)

public slots:
    // Queued into the server thread; root, user, password and trace apply from the next connection.
    void updateConfig(const FtpServerConfig& config);

signals:
    // "Server Error" / "Data Server Error" with "Unable to start the server" and the reason;
    // emitted from the server thread.
    void serverError(const QString& title, const QString& text);
    void listening(quint16 port); // emitted once listening

protected:
    void run() override;

private:
    mutable QMutex m_mutex;
    FtpServerConfig m_config;
    FtpCmdServer* m_server = nullptr; // while run() has one
    std::atomic<quint16> m_port { 0 };
};
