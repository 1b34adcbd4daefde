#pragma once

#include <QByteArray>
#include <QtGlobal>

// The bits of the FTP_SERVER Trace setting: what the server writes to the run log.
namespace FtpTrace {
enum : qint32 {
    Commands = 1, // every command and reply of the control connection
    DataChannel = 2, // data connections coming and going
    DataBlocks = 4, // every block sent or received
    ListLines = 8, // every listing line sent
};
} // namespace FtpTrace

// One run-log line of the server: the time stamp, the text and CR LF, in one write.
void ftpLog(const QByteArray& text);
