#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>

#include "UserSettings.h"

#include <memory>

// FTP client channel of the exchange: commands are queued and run in order on a worker thread over
// one control connection; results come back as signals on the owner's thread.

// One entry of a folder listing.
struct UrlInfo {
    QByteArray name; // bytes as the server sent them (Windows-1251 on office servers)
    qint64 size = -1;
    QDateTime lastModified; // read from the listing text; invalid when the line had none
    bool isDir = false;
    bool isFile = false;
    bool isValid() const { return !name.isEmpty(); }
};
Q_DECLARE_METATYPE(UrlInfo)

class FtpWorker;

class FtpClient : public QObject {
    Q_OBJECT
public:
    enum State { Unconnected, HostLookup, Connecting, Connected, LoggedIn, Closing };
    enum Error { NoError, UnknownError, HostNotFound, ConnectionRefused, NotConnected };
    enum TransferMode { Active, Passive };
    struct Timeouts {
        int connectMs = 15000;
        int responseMs = 30000;
    };
    // Explicit TLS (AUTH TLS) towards the office server. With a pin the server's certificate is
    // not checked against any authority (office servers sign their own), but its public key must
    // be the pinned one, and TLS is then demanded whatever tls says, since a pin that is never
    // checked protects nothing. Without a pin the certificate is verified as usual.
    struct Security {
        TlsUse tls = TlsUse::Off;
        QByteArray pin; // "sha256//<base64>" (several joined by ';'), or the base64 alone
    };

    explicit FtpClient(QObject* parent = nullptr);
    ~FtpClient() override; // aborts and joins the worker
    void setTimeouts(const Timeouts& t);
    void setSecurity(const Security& security); // for the commands queued from now on

    // Queued commands, each returns its id; they run in order on the worker thread.
    int connectToHost(const QString& host, quint16 port = 21);
    int login(const QByteArray& user, const QByteArray& password);
    // A relative dir is taken from the current folder, or with fromLoginFolder from the folder the
    // login started in, so the same relative path names the same folder however often it is used.
    int cd(const QByteArray& dir, bool fromLoginFolder = false);
    int setTransferMode(TransferMode mode);
    int get(const QByteArray& file, const QString& localPath); // downloads into localPath
    int put(const QString& localPath, const QByteArray& file); // uploads localPath as file
    int rename(const QByteArray& oldName, const QByteArray& newName);
    int remove(const QByteArray& file);
    int list(const QByteArray& dir = QByteArray());
    int close();
    void abort(); // ends the running command within a second, clears the queue
    State state() const;
    Error error() const;
    QString errorString() const; // never contains the password
    bool hasPendingCommands() const;
    void clearPendingCommands();

signals:
    void stateChanged(int state);
    void commandStarted(int id);
    void commandFinished(int id, bool error);
    void done(bool error);
    void dataTransferProgress(qint64 done, qint64 total); // total -1 when unknown
    void listInfo(const UrlInfo& info);

private:
    std::unique_ptr<FtpWorker> m_worker;
};

// Parses one LIST line (Unix "ls -l" style or Windows/IIS "MM-DD-YY hh:mmAM <DIR>|size name"); false when it is
// not an entry.
bool parseListLine(const QByteArray& line, UrlInfo& info, const QDate& today = QDate::currentDate());
