#include "RecordFile.h"

#include "Codec.h"
#include "DocKind.h"
#include "FileIo.h"
#include "Index.h"
#include "IndexFreshness.h"
#include "KeyIndex.h"
#include "ReplaceFile.h"
#include "RunLog.h"
#include "TableFiles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

bool soundLength(const TableDescr& table, const QByteArray& record)
{
    return table.recordLength > 0 && record.size() >= table.recordLength;
}

} // namespace

qint32 recordCountOf(const QString& binFileAsNamed, const TableDescr& table)
{
    const QString binFile = resolveFileCase(binFileAsNamed);
    if (table.recordLength <= 0)
        return 0;
    const QFileInfo info(binFile);
    if (!info.isFile())
        return 0;
    return static_cast<qint32>(qMin<qint64>(info.size() / table.recordLength, std::numeric_limits<qint32>::max()));
}

bool readRec(const QString& binFileAsNamed, const TableDescr& table, qint32 n, QByteArray& record)
{
    const QString binFile = resolveFileCase(binFileAsNamed);
    if (table.recordLength <= 0 || n < 0)
        return false;
    QFile file(binFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A trailing partial record is not a record: only whole ones are read.
    if (file.size() / table.recordLength <= n)
        return false;
    if (!file.seek(qint64(n) * table.recordLength))
        return false;
    record.resize(table.recordLength);
    const qint64 got = readFull(file, record.data(), table.recordLength);
    if (got <= 0)
        return false;
    if (got < table.recordLength)
        std::fill(record.begin() + got, record.end(), '\0');
    return true;
}

namespace {

// The change marker goes to the disk before the table changes, so that no change is ever there
// without it; a change that then fails takes away a marker it made itself. True when this call
// made the marker.
bool markBeforeChange(const QString& binFile)
{
    const QString marker = changeMarkerName(binFile);
    if (marker.isEmpty() || QFile::exists(marker))
        return false;
    touchChangeMarker(binFile);
    return QFile::exists(marker);
}

void unmarkFailedChange(const QString& binFile, bool madeMarker)
{
    if (madeMarker)
        QFile::remove(changeMarkerName(binFile));
}

// A goods table changed in place keeps its size and inode, and a power loss can take back the
// times the change gave it while keeping the record; its sorted key files would then trust a
// table they do not describe. They go for good before the change (the next lookup builds them
// again); false when one stays.
bool dropSortedIndexesBeforeChange(const QString& binFile, const TableDescr& table)
{
    if (docKindOfExtension(table.extension) != DocKind::Goods)
        return true;
    QStringList sorted;
    for (const KeyRole role : { KeyRole::Bar, KeyRole::Code }) {
        const QString file = sortedIndexFileName(indexFileName(binFile, role));
        if (QFileInfo::exists(file))
            sorted << file;
    }
    if (sorted.isEmpty())
        return true;
    const bool removed = removeFilesDurably(sorted);
    for (const QString& file : std::as_const(sorted))
        noteFileWritten(file);
    if (!removed)
        logLine(QByteArrayLiteral("putRec: sorted index files not removed ") + fromUi(binFile));
    return removed;
}

} // namespace

bool putRec(const QString& binFileAsNamed, const TableDescr& table, qint32 n, const QByteArray& record)
{
    const QString binFile = resolveFileCase(binFileAsNamed);
    if (!soundLength(table, record) || n < 0)
        return false;
    logLine(QByteArrayLiteral("putRec:recBuf ") + record.left(table.recordLength).toHex());
    // Unbuffered: a write the file refuses shows in the count written, not later.
    QFile file(binFile);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    // Writing past the end would leave a hole of zero bytes inside the table; the next record
    // (an append) is the furthest a record may go.
    if (n > file.size() / table.recordLength || !file.seek(qint64(n) * table.recordLength)) {
        logLine(QByteArrayLiteral("putRec:n -1"));
        return false;
    }
    if (!dropSortedIndexesBeforeChange(binFile, table))
        return false;
    const bool madeMarker = markBeforeChange(binFile);
    const qint64 written = file.write(record.constData(), table.recordLength);
    // Saved means on the disk: the record editor reports it saved when this returns.
    const bool flushed = syncFileData(file);
    file.close();
    logLine(QByteArrayLiteral("putRec:n ") + QByteArray::number(written));
    if (written > 0)
        noteFileWritten(binFile);
    // Saved only when the whole record reached the file; a refused write leaves no change marker.
    if (written != table.recordLength || !flushed) {
        unmarkFailedChange(binFile, madeMarker);
        return false;
    }
    return true;
}

bool appendRec(const QString& binFileAsNamed, TableDescr& table, const QByteArray& record)
{
    const QString binFile = resolveFileCase(binFileAsNamed);
    if (!soundLength(table, record))
        return false;
    QFile file(binFile);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    // The new record goes right after the last whole one: a partial tail left by an interrupted
    // write would otherwise shift it and every later record off the record grid.
    const qint64 size = file.size();
    const qint64 at = size / table.recordLength * table.recordLength;
    if (!dropSortedIndexesBeforeChange(binFile, table))
        return false;
    const bool madeMarker = markBeforeChange(binFile);
    const bool ok = file.seek(at) && file.write(record.constData(), table.recordLength) == table.recordLength
        && file.flush() && (file.size() == at + table.recordLength || file.resize(at + table.recordLength))
        && syncFileData(file);
    // A refused write may have left part of the record: the table keeps the length it had.
    if (!ok && file.size() > size)
        file.resize(size);
    file.close();
    noteFileWritten(binFile);
    if (!ok) {
        unmarkFailedChange(binFile, madeMarker);
        return false;
    }
    table.recordCount = recordCountOf(binFile, table);
    return true;
}

bool deleteRec(const QString& binFileAsNamed, TableDescr& table, qint32 n, QByteArray& deleted)
{
    const QString binFile = resolveFileCase(binFileAsNamed);
    if (table.recordLength <= 0 || n < 0)
        return false;
    QFile source(binFile);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const qint64 len = table.recordLength;
    const qint64 count = source.size() / len;
    table.recordCount = static_cast<qint32>(count);
    if (n >= count)
        return true;

    // The remaining records go to a new file beside the table, which replaces the table only by
    // an atomic rename at commit: any failure before that leaves the table whole.
    ReplaceFile target(binFile);
    if (!target.open())
        return false;
    const bool madeMarker = markBeforeChange(binFile);
    const qint64 chunkRecords = qMax<qint64>(1, FileChunkBytes / len);
    QByteArray buffer(chunkRecords * len, Qt::Uninitialized);
    const qint64 cut = qint64(n) * len;
    QByteArray removed(len, Qt::Uninitialized);
    bool ok = true;
    qint64 pos = 0;
    const qint64 end = count * len;
    while (ok && pos < end) {
        // Copy up to the deleted record, take it out, then copy the rest.
        if (pos == cut) {
            ok = readFull(source, removed.data(), len) == len;
            pos += len;
            continue;
        }
        const qint64 limit = pos < cut ? cut : end;
        const qint64 want = qMin<qint64>(buffer.size(), limit - pos);
        ok = readFull(source, buffer.data(), want) == want && target.write(buffer.constData(), want);
        pos += want;
    }
    source.close();
    if (!ok || !target.commit()) {
        logLine(QByteArrayLiteral("deleteRec: table kept, ") + fromUi(target.errorString()));
        unmarkFailedChange(binFile, madeMarker);
        return false;
    }
    deleted = removed;
    table.recordCount = recordCountOf(binFile, table);
    return true;
}

void touchChangeMarker(const QString& binFileAsNamed)
{
    const QString binFile = resolveFileCase(binFileAsNamed);
    const QString marker = changeMarkerName(binFile);
    if (marker.isEmpty() || QFile::exists(marker))
        return;
    QFile file(marker);
    if (!file.open(QIODevice::ReadWrite))
        return;
    file.close();
    // The marker says the table holds changes not yet sent: it has to outlive a power loss.
    syncFolder(QFileInfo(marker).absolutePath());
}
