#include "FtpServerRunner.h"

#include "AppState.h"
#include "FtpServerConfig.h"
#include "FtpServerThread.h"
#include "UserSettings.h"

FtpServerRunner::FtpServerRunner(quint16 port, quint16 dataPort, QObject* parent)
    : QObject(parent)
    , m_port(port)
    , m_dataPort(dataPort)
{
}

FtpServerRunner::~FtpServerRunner()
{
    stop();
}

void FtpServerRunner::apply()
{
    if (appState().user.obmen.ioFtpLocal != static_cast<qint32>(Channel::FtpServer)) {
        stop();
        return;
    }
    const FtpServerConfig config = ftpServerConfigFromSettings(m_port, m_dataPort);
    if (m_thread) {
        m_thread->updateConfig(config);
        return;
    }
    m_thread = std::make_unique<FtpServerThread>(config);
    // The notices arise on the server's thread; queued, they reach the boxes on this one.
    connect(m_thread.get(), &FtpServerThread::serverError, this, &FtpServerRunner::serverError, Qt::QueuedConnection);
    m_thread->start();
}

void FtpServerRunner::stop()
{
    if (!m_thread)
        return;
    m_thread->stop();
    m_thread.reset();
}
