#include "FtpTrace.h"

#include "RunLog.h"

void ftpLog(const QByteArray& text)
{
    RunLog::instance().write(RunLog::stamp() + text + "\r\n");
}
