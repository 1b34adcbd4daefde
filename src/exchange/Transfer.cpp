#include "Transfer.h"

#include "Codec.h"
#include "ConvFile.h"
#include "FileIo.h"
#include "IndexFreshness.h"
#include "RecordFile.h"
#include "RunLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringBuilder>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

QByteArray nameBytes(const QString& path)
{
    return fromUi(path);
}

QByteArray errorText(int error)
{
    return QByteArray(std::strerror(error));
}

void syncFolderOf(const QString& path)
{
    if (!syncFolder(QFileInfo(path).absolutePath()))
        logLine(QByteArrayLiteral("syncFolder: not flushed ") + nameBytes(path));
}

bool removeLogged(const QString& path, const char* operation)
{
    if (QFile::remove(path) || !QFileInfo::exists(path))
        return true;
    logLine(QByteArray(operation) + ": not deleted " + nameBytes(path));
    return false;
}

} // namespace

bool sameFolder(const QString& a, const QString& b)
{
    // Texts from outside may separate folder names with "\".
    const QFileInfo first(QString(a).replace(QLatin1Char('\\'), QLatin1Char('/')));
    const QFileInfo second(QString(b).replace(QLatin1Char('\\'), QLatin1Char('/')));
    if (a.isEmpty() || b.isEmpty() || !first.isDir() || !second.isDir())
        return false;
    const QString canonical = first.canonicalFilePath();
    return !canonical.isEmpty() && canonical == second.canonicalFilePath();
}

int createTemporaryBeside(const QString& path, QString& tempName)
{
    const int fd = createTemporaryFile(path, tempName);
    if (fd < 0)
        logLine(QByteArrayLiteral("createTemporary: ") + nameBytes(path) + ' ' + errorText(errno));
    return fd;
}

bool renameInPlace(const QString& from, const QString& to)
{
    // rename(2) replaces an existing target in one step; QFile::rename refuses one.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        logLine(QByteArrayLiteral("rename: ") + nameBytes(from) + " -> " + nameBytes(to) + ' ' + errorText(errno));
        return false;
    }
    noteFileWritten(to);
    syncFolderOf(to);
    return true;
}

CopyOutcome copyFileSafely(const QString& sourceAsNamed, const QString& targetAsNamed, const ProgressFn& progress)
{
    const QString source = resolveFileCase(sourceAsNamed);
    const QString target = resolveFileCase(targetAsNamed);
    logLine(QByteArrayLiteral("copyFile ") + nameBytes(source) + " -> " + nameBytes(target));
    if (!QFileInfo(source).isFile()) {
        logLine(QByteArrayLiteral("copyFile: no source ") + nameBytes(source));
        return CopyOutcome::NoSource;
    }
    // Deleting the target first, as a plain copy would, deletes the source here.
    if (sameFile(source, target)) {
        logLine(QByteArrayLiteral("copyFile: source is the target"));
        return CopyOutcome::SameFile;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        logLine(QByteArrayLiteral("copyFile: not open ") + nameBytes(source));
        return CopyOutcome::Failed;
    }
    DurableFile out(target);
    if (!out.open()) {
        logLine(QByteArrayLiteral("createTemporary: ") + nameBytes(target) + ' ' + fromUi(out.errorString()));
        return CopyOutcome::Failed;
    }

    const qint64 total = in.size();
    QByteArray buffer(qMin<qint64>(FileChunkBytes, qMax<qint64>(total, 1)), Qt::Uninitialized);
    qint64 done = 0;
    QByteArray failure;
    for (;;) {
        const qint64 got = readFull(in, buffer.data(), buffer.size());
        if (got < 0) {
            failure = "read error";
            break;
        }
        if (!out.write(buffer.constData(), got)) {
            failure = fromUi(out.errorString());
            break;
        }
        done += got;
        if (progress && total > 0)
            progress(done, total);
        if (got < buffer.size())
            break;
    }
    in.close();
    if (failure.isEmpty() && !out.commit())
        failure = "not renamed " + fromUi(out.errorString());
    if (!failure.isEmpty()) {
        logLine(QByteArrayLiteral("copyFile: failed, target kept ") + nameBytes(target) + ' ' + failure);
        return CopyOutcome::Failed;
    }
    noteFileWritten(target);
    if (!out.folderSynced())
        logLine(QByteArrayLiteral("syncFolder: not flushed ") + nameBytes(target));
    return CopyOutcome::Copied;
}

QString renamedToO(const QString& path)
{
    if (path.isEmpty())
        return path;
    return path.left(path.size() - 1) % QLatin1Char('o');
}

bool applySourceAction(SourceAction action, const QString& pathAsNamed)
{
    const QString path = resolveFileCase(pathAsNamed);
    switch (action) {
    case SourceAction::Keep:
        return true;
    case SourceAction::Delete:
        if (!removeLogged(path, "applySourceAction"))
            return false;
        syncFolderOf(path);
        return true;
    case SourceAction::Rename: {
        const QString renamed = renamedToO(path);
        if (renamed == path)
            return true;
        if (!QFileInfo::exists(path)) {
            logLine(QByteArrayLiteral("applySourceAction: not renamed, missing ") + nameBytes(path));
            return false;
        }
        // A file of the new name in any letter case goes first (the office sees one name); the
        // source itself may be that name in another case.
        const QString existing = resolveFileCase(renamed);
        if (QFileInfo::exists(existing) && !sameFile(existing, path) && !removeLogged(existing, "applySourceAction"))
            return false;
        return renameInPlace(path, renamed);
    }
    }
    return false;
}

void removeStaleTemporaries(const QString& folder)
{
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        // Only this terminal's own: an office file, another terminal's copy in progress or an
        // upload the FTP server is receiving are not.
        if (!isOwnTemporaryName(entry.fileName()))
            continue;
        if (removeLogged(entry.filePath(), "removeStaleTemporaries"))
            logLine(QByteArrayLiteral("removeStaleTemporaries: removed ") + nameBytes(entry.filePath()));
    }
}
