#pragma once

#include "FtpDatChannel.h"
#include "FtpLineReader.h"
#include "FtpPath.h"
#include "FtpServerConfig.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class FtpCmdServer;
class FtpTlsContext;
class FtpUpload;
class QIODevice;
class QTcpSocket;

// One client's control connection: reads whole command lines, answers each in order and drives
// the session's one data connection. Everything a session keeps (login, current folder, type, a
// pending rename or restart offset) starts afresh with each connection.
//
// The control states of the command table are kept as what they are made of: no session (0), the
// login (1 refused, 2 greeted, 3 user name received, 4 logged in; between 3 and 4 a password whose
// check is held back while passwords are being guessed), the data set-up (5) with the
// command it runs (6 LIST, 7 RETR, 8 STOR, 9 APPE) and a pending rename (10). Commands valid when
// logged in stay valid during a set-up, a transfer or a pending rename, and leave them alone.
//
// With TLS on, AUTH TLS secures the control connection (before or after the login) and PROT P the
// data connections; with TLS demanded, USER and clear data connections are refused until then.
class FtpCmdSession : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 MaxUnreadReplies = 64 * 1024; // a client that does not read is dropped
    static constexpr int CloseGraceMs = 5000; // to deliver the last reply before the socket is cut
    // A killed client's data and control connections end together, in either order: after the end
    // of an upload's data the control connection is watched for a while before the file is put in
    // place, and a client gone by then has its upload discarded. The while is SettleRoundTrips of
    // the shortest round trip seen on the control connection, within these bounds (the most when
    // it is not known): the client's two closes, sent together, travel the same path.
    static constexpr int CommitSettleMs = 200;
    static constexpr int MinSettleMs = 20;
    static constexpr int SettleRoundTrips = 8;

    // Takes the connected control socket (made by ftpNewSocket, so that AUTH TLS can secure it)
    // and greets the client.
    FtpCmdSession(QTcpSocket* control, const FtpServerConfig& config, FtpCmdServer& server);
    ~FtpCmdSession() override; // closes the data connection, discards an upload, cuts the client

    // Whether the session still holds the server's one slot: not when it is closing, waiting only
    // to refuse a wrong password, or its client has hung up (seen by the kernel, before Qt reads it).
    bool holdsSlot() const;
    const QHostAddress& peer() const { return m_peer; }
    bool loggedIn() const { return m_login == LoggedIn; }

signals:
    void finished(); // the client is gone; the session may be deleted

private slots:
    void slReadClient();
    void slDisconnected();
    void slEndOfTransfer(bool ok, const QByteArray& reply);
    void slDatConnected();
    void slIdle();
    void slSettled();

private:
    enum Login { Refused, Greeted, UserGiven, Checking, LoggedIn };
    using Handler = void (FtpCmdSession::*)(const QByteArray& argument);

    void runQueued();
    void command(const QByteArray& line);
    void checkPassword(const QByteArray& password);
    void reply(const QByteArray& text);
    void closeControl();
    bool resolve(const QByteArray& argument, QStringList& parts) const;
    QString localPath(const QStringList& parts) const;
    bool served(const QString& path) const { return !m_hidden.contains(path); }

    void cmdSyst(const QByteArray&);
    void cmdFeat(const QByteArray&);
    void cmdNoop(const QByteArray&);
    void cmdRest(const QByteArray& argument);
    void cmdPwd(const QByteArray&);
    void cmdCwd(const QByteArray& argument);
    void cmdCdup(const QByteArray&);
    void cmdType(const QByteArray& argument);
    void cmdSize(const QByteArray& argument);
    void cmdMdtm(const QByteArray& argument);
    static void flushFolderOf(const QString& path);
    void cmdDele(const QByteArray& argument);
    void cmdRnfr(const QByteArray& argument);
    void cmdRnto(const QByteArray& argument);
    void cmdMkd(const QByteArray& argument);
    bool makeFolders(const QStringList& parts) const;
    void cmdRmd(const QByteArray& argument);
    void cmdPasv(const QByteArray&);
    void cmdPort(const QByteArray& argument);
    void cmdList(const QByteArray& argument);
    void cmdNlst(const QByteArray& argument);
    void list(const QByteArray& argument, bool namesOnly);
    void cmdRetr(const QByteArray& argument);
    void cmdStor(const QByteArray& argument);
    void cmdAppe(const QByteArray& argument);
    void cmdAbor(const QByteArray&);

    bool securityCommand(const QByteArray& word, const QByteArray& argument);
    void cmdAuth(const QByteArray& argument);
    void cmdPbsz(const QByteArray& argument);
    void cmdProt(const QByteArray& argument);
    // False, after the refusal, when TLS is demanded and the control connection is still clear.
    bool clearLoginAllowed();
    // False, after the refusal, when TLS is demanded and data connections are not protected.
    bool clearDataAllowed();
    FtpDatChannel::Options dataOptions() const;

    void store(const QByteArray& argument, FtpDatCmd cmd);
    bool dataCommandAllowed();
    bool mayReplaceSetUp();
    void adopt(std::unique_ptr<FtpDatChannel> dat);
    void startData(
        FtpDatCmd cmd, const QByteArray& name, std::unique_ptr<QIODevice> source, std::unique_ptr<FtpUpload> upload);
    void send150();
    void endData();

    FtpCmdServer& m_server;
    QTcpSocket* m_control;
    QHostAddress m_peer;
    const FtpServerConfig m_config;
    const QString m_root;
    const FtpHiddenFiles m_hidden;
    FtpLineReader m_reader;
    QTimer m_idle;
    QTimer m_refuse;
    QTimer m_loginDeadline;
    QTimer m_check; // a password check held back while guessing is in the air
    QByteArray m_password;
    QList<FtpLineReader::Line> m_queued; // read, not yet run
    bool m_closing = false;
    bool m_gone = false;

    Login m_login = Greeted;
    QByteArray m_userName;
    QByteArray m_template150;
    QStringList m_cwd;
    bool m_renamePending = false;
    QString m_renameFrom;
    qint64 m_restOffset = 0;

    // The TLS context of the control connection and its data connections; null when TLS is off or
    // there is no usable key.
    const std::shared_ptr<FtpTlsContext> m_tls;
    bool m_secure = false; // AUTH TLS accepted: the control connection is encrypted
    bool m_protected = false; // PROT P: data connections are encrypted
    bool m_bufferSizeGiven = false; // PBSZ

    std::unique_ptr<FtpDatChannel> m_dat;
    FtpDatCmd m_datCmd = FtpDatCmd::None;
    QByteArray m_reply150;
    bool m_sent150 = false;
    std::unique_ptr<QIODevice> m_source; // the listing or the file being sent
    std::unique_ptr<FtpUpload> m_upload;
    std::unique_ptr<FtpUpload> m_settling; // received whole, waiting to settle
    QTimer m_settle;
};
