#include "FtpServerConfig.h"

#include "AppState.h"
#include "Codec.h"
#include "PathMacros.h"

#include "RunLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

QStringList ftpServerHiddenPaths(const QString& appDir, const QString& programFile)
{
    QStringList paths;
    const QDir dir(appDir);
    for (const char* name : { "OrtUser.ini", "OrtSystem.ini", "OrtUserB.ini", "logortc.txt", "logortp.txt", "*.ipn",
             "ortova.lck", FtpTlsIdentity::FileName })
        paths.append(dir.absoluteFilePath(QLatin1String(name)));
    if (!programFile.isEmpty())
        paths.append(programFile);
    return paths;
}

QString ftpServerKeyPath(const QString& appDir)
{
    return QDir(appDir).absoluteFilePath(QLatin1String(FtpTlsIdentity::FileName));
}

FtpServerConfig ftpServerConfigFromSettings(quint16 port, quint16 dataPort)
{
    const AppState& state = appState();
    const FtpServerSettings& settings = state.user.ftpServer;
    FtpServerConfig config;
    config.root = localExchangeRoot(settings.root, true);
    config.userName = settings.userName;
    config.passWord = settings.passWord;
    config.trace = settings.trace;
    config.port = port;
    config.dataPort = dataPort;
    config.hiddenPaths = ftpServerHiddenPaths(
        toUi(state.appDir), QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString());
    config.tls = static_cast<TlsUse>(settings.tls);
    if (config.tls != TlsUse::Off) {
        QString error;
        config.tlsIdentity = FtpTlsIdentity::loadOrCreate(ftpServerKeyPath(toUi(state.appDir)), error);
        if (config.tlsIdentity.isNull())
            logLine("FTP Server TLS: no key in " + QFile::encodeName(ftpServerKeyPath(toUi(state.appDir))) + ": "
                + error.toLocal8Bit());
    }
    return config;
}
