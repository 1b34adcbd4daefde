#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace {
const char RaiseRequest[] = "raise\n";
}

SingleInstance::SingleInstance(const QString& appDir, QObject* parent)
    : QObject(parent)
    , m_appDir(appDir)
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
}

SingleInstance::~SingleInstance()
{
    m_server.close();
    if (m_lock)
        m_lock->unlock();
}

QString SingleInstance::serverName(const QString& appDir)
{
    QFileInfo info(appDir);
    const QString canonical = info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("ortova-") + QString::fromLatin1(hash.left(20));
}

bool SingleInstance::claim()
{
    m_lock = std::make_unique<QLockFile>(QDir(m_appDir).filePath(QStringLiteral("ortova.lck")));
    // Stale only when its owner has gone, never by age: the program runs for days.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError) {
            askRunningToRaise(serverName(m_appDir));
            return false;
        }
        // No lock can be written here (read-only folder and the like): run unguarded.
        m_lock.reset();
    }
    const QString name = serverName(m_appDir);
    // Holding the lock means any socket left under this name belongs to a program that died.
    QLocalServer::removeServer(name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(name);
    return true;
}

bool SingleInstance::askRunningToRaise(const QString& name)
{
    // The running program may still be starting and not yet listening; try for a short while.
    const QDeadlineTimer deadline(3000);
    do {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(500)) {
            socket.write(RaiseRequest);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return false;
}

void SingleInstance::acceptConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto readRequest = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == RaiseRequest)
                    emit raiseRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        readRequest();
    }
}
