#include "ExchangeChannel.h"

#include "FolderChannel.h"
#include "FtpClientChannel.h"
#include "PathMacros.h"
#include "RunLog.h"

#include <QMetaObject>

ExchangeJob exchangeJob(JobKind kind, const QByteArray& name, const QString& local, bool input)
{
    ExchangeJob job;
    job.kind = kind;
    job.name = name;
    job.local = local;
    job.input = input;
    return job;
}

ChannelSetup channelSetup(Channel kind, const UserSettings& user, const QString& work)
{
    ChannelSetup setup;
    setup.kind = kind;
    setup.work = work;
    setup.ftp = user.ftpClient;
    QByteArray root, input, output;
    switch (kind) {
    case Channel::FtpClient:
        root = user.ftpClient.root;
        input = user.ftpClient.input;
        output = user.ftpClient.output;
        break;
    case Channel::FtpServer:
        root = user.ftpServer.root;
        input = user.ftpServer.input;
        output = user.ftpServer.output;
        break;
    case Channel::LocalDir:
    default:
        root = user.localDir.root;
        input = user.localDir.input;
        output = user.localDir.output;
        break;
    }
    const QString rootPath
        = kind == Channel::FtpClient ? folderSettingPath(root) : localExchangeRoot(root, kind == Channel::FtpServer);
    setup.input = rootPath + QLatin1Char('/') + folderSettingPath(input);
    setup.output = rootPath + QLatin1Char('/') + folderSettingPath(output);
    return setup;
}

void ExchangeChannel::finishLater(const ExchangeJob& job)
{
    QMetaObject::invokeMethod(
        this, [this, job] { emit finished(job); }, Qt::QueuedConnection);
}

std::unique_ptr<ExchangeChannel> makeExchangeChannel(const ChannelSetup& setup)
{
    if (setup.kind == Channel::FtpClient)
        return std::make_unique<FtpClientChannel>(setup);
    return std::make_unique<FolderChannel>(setup);
}

QString oneLine(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}
