#include "FtpServerThread.h"

#include "FtpCmdServer.h"

#include <QMutexLocker>

FtpServerThread::FtpServerThread(const FtpServerConfig& config, QObject* parent)
    : QThread(parent)
    , m_config(config)
{
    qRegisterMetaType<FtpServerConfig>();
    setObjectName(QStringLiteral("FtpServer"));
}

FtpServerThread::~FtpServerThread()
{
    // Never terminated: a thread cancelled inside Qt can leave the program unable to end.
    stop();
}

void FtpServerThread::stop()
{
    // Seen by the long pieces of work (listings, flushes) between their steps.
    requestInterruption();
    // quit() before the loop runs would be lost: repeat it until the thread has ended.
    while (isRunning()) {
        quit();
        wait(50);
    }
}

quint16 FtpServerThread::listeningPort() const
{
    return m_port.load();
}

void FtpServerThread::updateConfig(const FtpServerConfig& config)
{
    QMutexLocker lock(&m_mutex);
    m_config = config;
    if (FtpCmdServer* server = m_server)
        QMetaObject::invokeMethod(
            server, [server, config] { server->updateConfig(config); }, Qt::QueuedConnection);
}

void FtpServerThread::run()
{
    FtpServerConfig config;
    {
        QMutexLocker lock(&m_mutex);
        config = m_config;
    }
    FtpCmdServer server(config);
    connect(&server, &FtpCmdServer::serverError, this, &FtpServerThread::serverError, Qt::DirectConnection);
    connect(
        &server, &FtpCmdServer::listening, this,
        [this](quint16 port) {
            m_port.store(port);
            emit listening(port);
        },
        Qt::DirectConnection);
    {
        QMutexLocker lock(&m_mutex);
        m_server = &server;
        // A snapshot handed over between the copy above and now.
        server.updateConfig(m_config);
    }
    if (server.start())
        exec();
    {
        QMutexLocker lock(&m_mutex);
        m_server = nullptr;
    }
    m_port.store(0);
}
