#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// A real FTP server (Debian's pyftpdlib) on a free loopback port, serving one folder to one user
// with write access. Names travel as raw bytes, so Windows-1251 file names survive. Stopped (killed)
// when the peer goes out of scope.
class FtpPeer {
public:
    FtpPeer() = default;
    ~FtpPeer();
    FtpPeer(const FtpPeer&) = delete;
    FtpPeer& operator=(const FtpPeer&) = delete;

    // Data connections send and receive at most this many bytes a second (0: no limit); set before start.
    void setThrottle(int bytesPerSecond) { m_throttle = bytesPerSecond; }
    // LIST answers in the Windows (IIS) form "MM-DD-YY  hh:mmAM  <DIR>|size  name"; set before start.
    void setWindowsListing(bool on) { m_windowsListing = on; }
    // Speaks explicit TLS and demands it on the control and data connections, with the key and
    // certificate of pemFile (one PEM file holding both); set before start.
    void setTls(const QString& pemFile) { m_tlsPem = pemFile; }
    // Starts the server on rootDir and waits until its port accepts connections.
    bool start(const QString& rootDir, const QByteArray& user, const QByteArray& password);
    quint16 port() const { return m_port; }
    // Kills the server and starts a fresh one on the same port, as an office server that dropped
    // its connections would look.
    bool restart();
    // Everything the server logged so far, commands included ("<- USER office"; PASS masked).
    QByteArray log();
    // Kills the server at once, as a crashed or unplugged office host would vanish.
    void kill();

private:
    QProcess m_process;
    bool launch();

    QByteArray m_log;
    QString m_root;
    QByteArray m_user;
    QByteArray m_password;
    quint16 m_port = 0;
    int m_throttle = 0;
    bool m_windowsListing = false;
    QString m_tlsPem;
};
