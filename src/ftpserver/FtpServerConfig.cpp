#include "FtpServerConfig.h"

#include "AppState.h"
#include "Codec.h"
#include "PathMacros.h"

#include <QCoreApplication>
#include <QDir>

QStringList ftpServerHiddenPaths(const QString& appDir, const QString& programFile)
{
    QStringList paths;
    const QDir dir(appDir);
    for (const char* name :
        { "OrtUser.ini", "OrtSystem.ini", "OrtUserB.ini", "logortc.txt", "logortp.txt", "*.ipn", "ortova.lck" })
        paths.append(dir.absoluteFilePath(QLatin1String(name)));
    if (!programFile.isEmpty())
        paths.append(programFile);
    return paths;
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
    return config;
}
