#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <memory>

class FtpTlsContext;
class QIODevice;
class QSocketNotifier;
class QTcpSocket;

// The data command a data connection carries.
enum class FtpDatCmd : int { None = 0, List = 1, Stor = 2, Retr = 3, Appe = 4 };

// One data connection of a session, set up by PASV (FtpDatServer) or PORT (FtpDatSocket), carrying
// one data command: it moves bytes between the connection and a device the session prepared (the
// listing, the file to send, the file being received) and reports how the transfer ended. Sending
// keeps at most about two blocks in the socket's buffer, whatever the size of the file.
class FtpDatChannel : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 BlockBytes = 256 * 1024;

    struct Options {
        qint32 trace = 0;
        int setupTimeoutMs = 60000; // a set-up whose connection does not come up is dropped
        // PROT P: the connection is secured with tls (the session's) before any data moves.
        bool encrypt = false;
        std::shared_ptr<FtpTlsContext> tls;
    };

    ~FtpDatChannel() override;

    // A connection that is up, or still coming: a new set-up would compete with it.
    bool usable() const { return m_phase == Waiting || m_phase == Connected; }
    bool isConnected() const { return m_phase == Connected; }
    // The connection came, and may have been closed by the client since (it sent all it had).
    bool connectionCame() const { return m_phase == Connected || m_phase == Closed; }
    // Whether the data travel encrypted: the bytes go through TLS, never straight from a file.
    bool encrypted() const { return m_options.encrypt; }
    // Starts the data command once the connection is up (at once when it is). file stays the
    // session's and is used until snEndOfTransfer or shutdown(). The 150 reply is the session's to
    // send before: snDatConnected tells it when the connection comes up.
    void slDatCmd(FtpDatCmd cmd, QIODevice* file);
    // Closes everything at once; no signal follows. A transfer in progress is abandoned.
    void shutdown();

signals:
    void snDatConnected();
    // The data command ended: ok when it ran to its end (a whole file sent and delivered, or
    // received up to the client's close), otherwise reply is the text for the client. With no
    // command given, only the set-up time-out reports (425).
    void snEndOfTransfer(bool ok, const QByteArray& reply);
    void snActivity(); // bytes moved: the client is not idle

protected:
    FtpDatChannel(const Options& options, QObject* parent);
    // The connection is up: the channel takes the socket.
    void attach(QTcpSocket* socket);
    // The connection could not be made.
    void setupFailed();
    // Stops listening or connecting for the connection: a passive port is freed.
    virtual void stopSetup() { }
    void log(const QByteArray& text) const;
    const Options m_options;

private slots:
    void slReadDat();
    void slDisconnected();
    void pump();
    void slSetupTimeout();

private:
    enum Phase { Waiting, Connected, Closed, Failed, Done };
    bool sending() const { return m_cmd == FtpDatCmd::List || m_cmd == FtpDatCmd::Retr; }
    // Data may move: the connection is up and, when encrypted, its handshake done.
    bool ready() const { return m_phase == Connected && (!m_options.encrypt || m_secured); }
    void secure();
    void run();
    bool drain();
    void finish(bool ok, const QByteArray& reply);
    // A file to a plain TCP socket goes by sendfile(2) from the page cache, never through this
    // process's memory or the socket's buffer; a listing, or a socket that is more than a plain
    // one (TLS), goes through pump().
    bool sendsFileDirectly() const;
    void sendFile();
    void stopSendFile();

    Phase m_phase = Waiting;
    QTcpSocket* m_socket = nullptr;
    FtpDatCmd m_cmd = FtpDatCmd::None;
    QIODevice* m_file = nullptr;
    QByteArray m_block;
    bool m_sentAll = false;
    bool m_broken = false; // the connection failed or was reset, not just closed
    bool m_secured = false; // the TLS handshake is done
    bool m_tlsClosed = false; // the client ended its TLS session (close_notify): all its data is here
    qintptr m_watch = -1; // a second descriptor of the connection: tells a reset from a close
    QTimer m_setupTimer;
    QSocketNotifier* m_sendReady = nullptr; // sendFile(): the socket has room again
    qint64 m_sendAt = -1; // sendFile(): the file's offset of the next byte to send
};
