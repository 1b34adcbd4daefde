#include "FtpServerConfig.h"

#include "AppState.h"
#include "Codec.h"
#include "PathMacros.h"

#include <QCoreApplication>
#include <QDir>

QString ftpServerRoot(const QByteArray& rootSetting, const QString& workDir)
{
    QString root = toUi(expandMacros(rootSetting));
    root.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (root.isEmpty())
        return QDir::cleanPath(workDir);
    return QDir::cleanPath(QDir(workDir).absoluteFilePath(root));
}

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
    config.root = ftpServerRoot(settings.root, toUi(state.workDir));
    config.userName = settings.userName;
    config.passWord = settings.passWord;
    config.trace = settings.trace;
    config.port = port;
    config.dataPort = dataPort;
    config.hiddenPaths = ftpServerHiddenPaths(
        toUi(state.appDir), QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString());
    return config;
}
