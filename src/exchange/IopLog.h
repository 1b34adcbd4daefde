#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Exchange logs: every directory the exchange loads or unloads gets a numbered log file
// "<TerminalNumber><6-digit number>.iop", delivered next to the data and then deleted on the
// terminal. The running number survives restarts as the name of the one ".ipn" marker in the
// application folder. Lines are Windows-1251, end in CR LF and are mirrored in the run log;
// iopMsg() (config) writes into the open log.

// Start-up: finds the number in appDir and makes sure exactly one marker exists. Two or more
// markers are all removed and one is made for the highest number; the ".iop" files stay (they may
// be logs the office has not collected). A marker that is a folder or cannot be made is logged.
void iopGetNum(const QString& appDir);
// Raises the number to the highest of this terminal's logs (".iop") found in folders, so a lost
// marker never hands out a number of a log that is still kept.
void iopRaiseAbove(const QStringList& folders);
// A log of this terminal that stayed on the terminal (its delivery failed or was broken off).
struct KeptLog {
    QString path;
    bool load = true; // it tells of a load (delivered to the input folder), else of an unload
};
// This terminal's logs in folder that were finished and not delivered, oldest number first; logs
// without their header line (cut short by a power loss) are left out.
QList<KeptLog> keptIopLogs(const QString& folder);
// The current number (the last one used).
quint64 iopNumber();
// Advances the number (marker renamed, or the new one made and the old removed) and opens a new,
// truncated log file in the current folder with its header line: time stamp, "Загрузка
// справочника " or "Выгрузка справочника ", title. A log that cannot be opened is not written;
// the run-log lines are, and the number still advances.
void iopStart(const QByteArray& title, bool load);
// Adds the last line and closes the log.
void iopFinish(const QString& text);
// The open or last closed log's file name (in the folder it was started in); empty when none.
QString iopFileName();
// Deletes the terminal's copy of the last log (after delivery) and forgets it.
void iopRelease();
