#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The exchange-log writer: each message goes to the run log as "   " + message + "\r\n" and,
// while an exchange log is open, to it as well. The exchange installs the sink while a log is
// open and removes it (an empty function) when the log is closed.
void iopMsg(const QString& message);
void iopMsg(const QByteArray& message);
void setIopSink(std::function<void(const QByteArray&)> sink);
