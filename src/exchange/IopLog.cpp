#include "IopLog.h"

#include "AppState.h"
#include "Codec.h"
#include "FileIo.h"
#include "IopMsg.h"
#include "RunLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

struct IopState {
    QString appDir; // where the marker lives
    QString marker; // the marker as it is named on disk; empty when there is none to rename
    quint64 number = 0;
    QFile log;
    bool open = false;
    QString fileName; // the open or last closed log
};

IopState& iop()
{
    static IopState state;
    return state;
}

QByteArray sixDigits(quint64 number)
{
    // Numbers of more than six digits are written in full.
    return QByteArray::number(number).rightJustified(6, '0');
}

QString markerName(quint64 number)
{
    return QString::fromLatin1(sixDigits(number) + ".ipn");
}

bool isMarker(const QFileInfo& entry)
{
    return entry.suffix().toUpper() == QLatin1String("IPN");
}

// The base name of a marker as a number: decimal digits only.
bool markerNumber(const QFileInfo& entry, quint64& number)
{
    const QString base = entry.completeBaseName();
    if (base.isEmpty())
        return false;
    for (const QChar c : base) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    number = base.toULongLong(&ok);
    return ok;
}

bool makeMarker(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.close();
    return true;
}

// A marker made, renamed or removed has to stay so after a power cut, or a number could come back.
void syncMarkerFolder(const QString& folder, const QString& operation)
{
    if (!syncFolder(folder))
        logLine(operation + QStringLiteral(": folder not flushed ") + folder);
}

void closeLog()
{
    IopState& s = iop();
    // Removing the sink waits for a line being written on another thread.
    setIopSink({});
    if (!s.open)
        return;
    s.open = false;
    // The log is delivered to the office right after it is closed.
    if (!syncFileData(s.log))
        logLine(QStringLiteral("iopFinish: log not flushed ") + s.log.fileName());
    s.log.close();
}

// Moves the marker on to the next number. When the rename fails the next marker is made and the
// old one removed, so the number is never handed out again after a restart.
void advanceMarker()
{
    IopState& s = iop();
    const quint64 next = s.number + 1;
    s.number = next;
    // Before start-up has found the number there is no folder for a marker.
    if (s.appDir.isEmpty())
        return;
    const QString target = QDir(s.appDir).filePath(markerName(next));
    if (!s.marker.isEmpty() && QFile::rename(s.marker, target)) {
        s.marker = target;
    } else if (makeMarker(target)) {
        if (!s.marker.isEmpty() && QFileInfo::exists(s.marker) && !QFile::remove(s.marker))
            logLine(QStringLiteral("iopStart: marker not removed ") + s.marker);
        s.marker = target;
    } else {
        // The old marker, if any, stays; the number has moved on in memory all the same.
        logLine(QStringLiteral("iopStart: marker not made ") + target);
        return;
    }
    syncMarkerFolder(s.appDir, QStringLiteral("iopStart"));
}

// What a log's header line says it tells of (Windows-1251).
QByteArray headerWord(bool load)
{
    return fromUi(load ? QStringLiteral("Загрузка справочника ") : QStringLiteral("Выгрузка справочника "));
}

// The number of one of this terminal's logs, "<terminal><digits>.iop" with any number of digits;
// false for another file.
bool ownLogNumber(const QString& name, const QString& terminal, quint64& number)
{
    const QString digits = name.chopped(4).mid(terminal.size());
    if (!name.startsWith(terminal) || digits.isEmpty()
        || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    bool ok = false;
    number = digits.toULongLong(&ok);
    return ok;
}

} // namespace

void iopGetNum(const QString& appDir)
{
    IopState& s = iop();
    closeLog();
    s.appDir = appDir;
    s.marker.clear();
    s.number = 0;
    s.fileName.clear();

    const QFileInfo folder(appDir);
    if (!folder.isDir() || !folder.isReadable() || !folder.isExecutable()) {
        logLine(QStringLiteral("iopGetNum: folder not readable ") + appDir);
        return;
    }
    const QDir dir(appDir);
    const QFileInfoList entries
        = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    QStringList markers;
    for (const QFileInfo& entry : entries) {
        if (!isMarker(entry))
            continue;
        // A folder is no marker, but its number is never handed out again either.
        quint64 number = 0;
        if (markerNumber(entry, number))
            s.number = qMax(s.number, number);
        if (entry.isFile())
            markers.append(entry.filePath());
        else
            logLine(QStringLiteral("iopGetNum: marker is not a file ") + entry.filePath());
    }
    if (markers.size() == 1) {
        s.marker = markers.first();
        return;
    }

    // None, or several (copied in by hand): one marker for the highest number. It is made before
    // the others go, so no moment leaves the folder without one. The logs stay: the office may
    // not have collected them yet.
    const QString wanted = dir.filePath(markerName(s.number));
    if (markers.contains(wanted) || makeMarker(wanted)) {
        s.marker = wanted;
        for (const QString& marker : std::as_const(markers)) {
            if (marker != wanted && !QFile::remove(marker))
                logLine(QStringLiteral("iopGetNum: marker not removed ") + marker);
        }
    } else {
        // The old markers stay, so the next start still finds the highest number.
        logLine(QStringLiteral("iopGetNum: marker not made ") + wanted);
    }
    syncMarkerFolder(appDir, QStringLiteral("iopGetNum"));
}

void iopRaiseAbove(const QStringList& folders)
{
    IopState& s = iop();
    const QString terminal = toUi(appState().user.programm.terminalNumber);
    quint64 highest = 0;
    for (const QString& folder : folders) {
        if (folder.isEmpty())
            continue;
        const QStringList names
            = QDir(folder).entryList({ QStringLiteral("*.iop"), QStringLiteral("*.IOP") }, QDir::Files);
        quint64 number = 0;
        for (const QString& name : names)
            if (ownLogNumber(name, terminal, number))
                highest = qMax(highest, number);
    }
    if (highest > s.number) {
        logLine(QStringLiteral("iopRaiseAbove: kept logs up to %1, numbering goes on above them").arg(highest));
        s.number = highest;
    }
}

QList<KeptLog> keptIopLogs(const QString& folder)
{
    const QString terminal = toUi(appState().user.programm.terminalNumber);
    const QByteArray loadWord = headerWord(true);
    const QByteArray unloadWord = headerWord(false);
    QList<KeptLog> logs;
    const QStringList names = QDir(folder).entryList({ QStringLiteral("*.iop") }, QDir::Files, QDir::Name);
    quint64 number = 0;
    for (const QString& name : names) {
        if (!ownLogNumber(name, terminal, number))
            continue;
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray header = file.readLine(4096);
        if (!header.contains(loadWord) && !header.contains(unloadWord))
            continue;
        logs.append({ file.fileName(), header.contains(loadWord) });
    }
    return logs;
}

quint64 iopNumber()
{
    return iop().number;
}

void iopStart(const QByteArray& title, bool load)
{
    IopState& s = iop();
    closeLog();
    s.fileName.clear();

    const QByteArray kind = headerWord(load);
    const QByteArray stamp = RunLog::stamp();
    RunLog::instance().write(QByteArray(stamp + ' ' + kind + title + "\r\n"));

    advanceMarker();

    const QString name = toUi(appState().user.programm.terminalNumber) + QString::fromLatin1(sixDigits(s.number))
        + QLatin1String(".iop");
    const QString path = QDir::current().absoluteFilePath(name);
    s.log.setFileName(path);
    // Truncated: an older log of the same number must not keep its tail.
    if (!s.log.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        logLine(QStringLiteral("iopStart: log not open ") + path);
        return;
    }
    s.open = true;
    s.fileName = path;
    s.log.write(QByteArray(stamp + kind + title + "\r\n"));
    setIopSink([](const QByteArray& line) { iop().log.write(QByteArray(line + "\r\n")); });
}

void iopFinish(const QString& text)
{
    iopMsg(text);
    closeLog();
}

QString iopFileName()
{
    return iop().fileName;
}

void iopRelease()
{
    IopState& s = iop();
    closeLog();
    if (!s.fileName.isEmpty() && QFileInfo::exists(s.fileName) && !QFile::remove(s.fileName))
        logLine(QStringLiteral("iopRelease: log not removed ") + s.fileName);
    s.fileName.clear();
}
