#include "IopMsg.h"

#include "Codec.h"
#include "RunLog.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex sinkMutex;
std::function<void(const QByteArray&)>& sinkRef()
{
    static std::function<void(const QByteArray&)> sink;
    return sink;
}
} // namespace

void iopMsg(const QByteArray& message)
{
    RunLog::instance().write(QByteArray("   ") + message + "\r\n");
    QMutexLocker lock(&sinkMutex);
    if (sinkRef())
        sinkRef()(message);
}

void iopMsg(const QString& message)
{
    iopMsg(fromUi(message));
}

void setIopSink(std::function<void(const QByteArray&)> sink)
{
    QMutexLocker lock(&sinkMutex);
    sinkRef() = std::move(sink);
}
