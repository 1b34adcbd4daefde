#pragma once

#include "FtpTlsIdentity.h"
#include "UserSettings.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

// A snapshot of what the terminal's FTP server needs, taken on the user-interface thread: the
// server never reads the shared settings records from its own thread.
struct FtpServerConfig {
    QString root; // absolute, already resolved (macros expanded, relative -> work folder, empty -> work folder)
    QByteArray userName; // Windows-1251 bytes as in the settings
    QByteArray passWord;
    qint32 trace = 0;
    quint16 port = 21; // control port (--ftp-port); 0 listens on any free port
    quint16 dataPort = 50000; // first of three passive ports (--ftp-data-port); 0 uses any free port
    QStringList hiddenPaths; // absolute paths never served nor listed; a name may be a wildcard ("*.ipn")
    int idleTimeoutMs = 300000;
    int dataSetupTimeoutMs = 60000;
    int passDelayMs = 1000; // first delay after a wrong password, doubling per failure from that address up to 30 s
    int loginTimeoutMs = 30000; // from connect to login, whatever the client sends meanwhile
    // As many wrong passwords as this within a minute, from all addresses together, and every password
    // is checked only after passDelayMs, one client at a time.
    int failuresPerMinute = 10;
    // An upload is written out to the disk while it arrives, every this many bytes (0: only when
    // it is whole), so that the flush before "226" is short.
    qint64 writeBehindBytes = 4 << 20;
    TlsUse tls = TlsUse::Off; // AUTH TLS offered, or demanded before USER
    FtpTlsIdentity tlsIdentity; // null when TLS is off or no key could be had (AUTH is then refused)
};
Q_DECLARE_METATYPE(FtpServerConfig)

// What the application folder holds that no client may read, overwrite or see: both settings files
// and the former one, the run logs, the exchange-log marker, the lock file, the server's TLS key
// and the program file.
QStringList ftpServerHiddenPaths(const QString& appDir, const QString& programFile);
// Where the server's TLS key and certificate are kept.
QString ftpServerKeyPath(const QString& appDir);
// Builds the snapshot from the process's settings (call on the UI thread only). With TLS on, the
// server's key is read from the application folder, or made there the first time.
FtpServerConfig ftpServerConfigFromSettings(quint16 port, quint16 dataPort);
