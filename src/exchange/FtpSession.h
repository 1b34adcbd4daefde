#pragma once

#include "FtpClient.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

typedef void CURL;
typedef void CURLM;

// The libcurl side of FtpClient: runs one command at a time on the worker thread over one easy
// handle, whose connection (kept in the multi handle's cache) serves every command of an exchange.
class FtpSession {
public:
    struct Command {
        enum Kind { ConnectToHost, Login, Cd, SetTransferMode, Get, Put, Rename, Remove, List, Close };
        int id = 0;
        Kind kind = Close;
        QString host; // connectToHost
        quint16 port = 21;
        QByteArray first; // user, folder, remote file, old name
        QByteArray second; // password, new name
        QString localPath;
        FtpClient::TransferMode mode = FtpClient::Passive;
        bool fromLogin = false; // cd: a relative folder from the login folder
    };
    struct Result {
        FtpClient::Error error = FtpClient::NoError;
        QString text;
    };
    struct Sinks {
        std::function<void(int)> state;
        std::function<void(qint64, qint64)> progress;
        std::function<void(const UrlInfo&)> entry;
    };

    FtpSession(Sinks sinks, const std::atomic_bool& abortFlag);
    ~FtpSession();
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    void setTimeouts(const FtpClient::Timeouts& t) { m_timeouts = t; }
    void setSecurity(const FtpClient::Security& security);
    Result run(const Command& c);
    // Wakes a command waiting on the network so it sees the abort flag at once; any thread.
    void wakeUp();

private:
    Result connectToHost(const Command& c);
    Result login(const Command& c);
    Result cd(const Command& c);
    Result get(const Command& c);
    Result put(const Command& c);
    Result quote(const QList<QByteArray>& commands, const QString& failure);
    Result list(const Command& c);
    Result close();

    void openHandles();
    void closeHandles();
    void prepare(const QByteArray& url);
    int perform(); // a CURLcode
    Result failure(int code, const QString& what) const;
    QByteArray folderUrl(const QList<QByteArray>& folder) const;
    void report(int state);

    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static int onProgress(void* self, qint64 dlTotal, qint64 dlNow, qint64 ulTotal, qint64 ulNow);

    Sinks m_sinks;
    const std::atomic_bool& m_abort;
    FtpClient::Timeouts m_timeouts;
    TlsUse m_tls = TlsUse::Off;
    QByteArray m_pin; // as libcurl takes it; empty: none
    CURL* m_easy = nullptr;
    CURLM* m_multi = nullptr;
    std::mutex m_handles; // wakeUp() comes from the owner's thread while close() renews the handles
    char m_errorBuffer[256] = {};

    QString m_host;
    quint16 m_port = 21;
    QByteArray m_user;
    QByteArray m_password;
    bool m_loggedIn = false; // credentials accepted once: a dropped connection is opened again
    bool m_alive = false; // libcurl still holds the control connection
    QList<QByteArray> m_folder; // from the login folder; first entry "/" when absolute
    FtpClient::TransferMode m_mode = FtpClient::Passive;
    int m_reported = FtpClient::Unconnected;

    // Per request.
    QByteArray m_lastReply;
    bool m_storAccepted = false;
    bool m_cleanup = false; // the DELE after a broken upload runs even though abort was asked
    qint64 m_lastProgress = -1;
    qint64 m_lastProgressMs = 0;
    QElapsedTimer m_clock;
};
