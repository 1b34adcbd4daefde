#pragma once

#include <QObject>
#include <QString>

#include <memory>

class FtpServerThread;

// Keeps the terminal's FTP server in step with the settings in force: it runs exactly while the
// exchange channel is the FTP server, and takes a fresh snapshot of its settings after each save.
// Lives on the user-interface thread, which alone reads the settings.
class FtpServerRunner : public QObject {
    Q_OBJECT
public:
    FtpServerRunner(quint16 port, quint16 dataPort, QObject* parent = nullptr);
    ~FtpServerRunner() override;

    // Starts, stops or renews the server for the settings in force.
    void apply();
    bool running() const { return m_thread != nullptr; }
    FtpServerThread* thread() const { return m_thread.get(); }

signals:
    // The server's "Server Error" / "Data Server Error" notices, delivered on this object's thread.
    void serverError(const QString& title, const QString& text);

private:
    void stop();

    quint16 m_port;
    quint16 m_dataPort;
    std::unique_ptr<FtpServerThread> m_thread;
};
