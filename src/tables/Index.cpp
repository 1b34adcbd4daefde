#include "Index.h"

#include "Codec.h"
#include "FieldCodec.h"
#include "FileIo.h"
#include "IndexFreshness.h"
#include "KeyIndex.h"
#include "RecordFile.h"
#include "ReplaceFile.h"
#include "Report.h"
#include "RunLog.h"
#include "Search.h"
#include "TableFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringBuilder>

#include <cstring>

namespace {

QByteArray number(qint32 n)
{
    return QByteArray::number(n);
}

} // namespace

int keyFieldIndex(const TableDescr& goods, KeyRole role)
{
    const int bar = goods.fieldIndex(QByteArrayLiteral("BAR"));
    const int code = goods.fieldIndex(QByteArrayLiteral("CODE"));
    if (role == KeyRole::Bar)
        return bar >= 0 ? bar : code;
    return code >= 0 ? code : bar;
}

QString indexFileName(const QString& goodsBinFile, KeyRole role)
{
    return QFileInfo(goodsBinFile)
        .dir()
        .filePath(role == KeyRole::Bar ? QStringLiteral("Bar.ndx") : QStringLiteral("Code.ndx"));
}

bool buildIndex(
    const QString& goodsBinFile, qint32 recordLength, const QString& indexFile, qint32 keyOffset, qint32 keyWidth)
{
    if (recordLength <= 0 || keyOffset < 0 || keyWidth <= 0 || qint64(keyOffset) + keyWidth > recordLength)
        return false;
    QFile goods(goodsBinFile);
    if (!goods.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    ReplaceFile index(indexFile);
    if (!index.open())
        return false;
    const qint64 perChunk = qMax<qint64>(1, FileChunkBytes / recordLength);
    QByteArray in(perChunk * recordLength, Qt::Uninitialized);
    QByteArray out(perChunk * keyWidth, Qt::Uninitialized);
    for (;;) {
        const qint64 got = readFull(goods, in.data(), in.size());
        if (got < 0)
            return false;
        const qint64 whole = got / recordLength;
        for (qint64 i = 0; i < whole; ++i)
            std::memcpy(out.data() + i * keyWidth, in.constData() + i * recordLength + keyOffset,
                static_cast<size_t>(keyWidth));
        if (!index.write(out.constData(), whole * keyWidth))
            return false;
        if (got < in.size())
            break;
    }
    return index.commit();
}

namespace {

// The block scan of the goods table for key, reading the index alongside: fresh tells whether
// the index held exactly the key column of every record (known only when the key is not found).
// Results as blockSearchFrom(); an index that cannot be read is only not fresh.
qint32 scanComparingIndex(const QString& goodsBinFile, qint32 recordLength, qint32 keyOffset, qint32 keyWidth,
    const QByteArray& key, const QString& indexFile, QByteArray& record, bool& fresh)
{
    fresh = false;
    if (recordLength <= 0 || keyWidth <= 0 || qint64(keyOffset) + keyWidth > recordLength || key.size() < keyWidth)
        return -1;
    QFile goods(goodsBinFile);
    QFile index(indexFile);
    if (!goods.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QFileInfo::exists(goodsBinFile) ? SearchFileError : -1;
    const bool indexOpen = index.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    bool same = indexOpen;
    const qint64 perBlock = qMax<qint64>(1, SearchBlockBytes / recordLength);
    QByteArray block(perBlock * recordLength, Qt::Uninitialized);
    QByteArray entries(perBlock * keyWidth, Qt::Uninitialized);
    const size_t width = static_cast<size_t>(keyWidth);
    qint64 first = 0;
    for (;;) {
        const qint64 got = readFull(goods, block.data(), block.size());
        if (got < 0)
            return SearchFileError;
        const qint64 whole = got / recordLength;
        if (same) {
            const qint64 want = whole * keyWidth;
            same = readFull(index, entries.data(), want) == want;
        }
        for (qint64 i = 0; i < whole; ++i) {
            const char* rec = block.constData() + i * recordLength + keyOffset;
            if (std::memcmp(rec, key.constData(), width) == 0) {
                record = QByteArray(block.constData() + i * recordLength, recordLength);
                return static_cast<qint32>(first + i);
            }
            if (same && std::memcmp(rec, entries.constData() + i * keyWidth, width) != 0)
                same = false;
        }
        first += whole;
        if (got < block.size())
            break;
    }
    fresh = same && index.size() == first * keyWidth;
    return -1;
}

// The lookup through the index file: scans it for the key, verifies a hit against the goods
// record, and falls back to scanning the goods table.
qint32 searchIndexFile(const QString& goodsBinFile, const TableDescr& goods, const FieldDescr& field, KeyRole role,
    const QByteArray& key, QByteArray& record)
{
    const QString indexFile = indexFileName(goodsBinFile, role);
    const bool existed = QFile::exists(indexFile);
    bool usable = existed;
    if (!existed) {
        usable = buildIndex(goodsBinFile, goods.recordLength, indexFile, field.offset, field.width);
        if (usable)
            markIndexFresh(indexFile, goodsBinFile, field.offset, field.width);
    }

    if (usable) {
        QByteArray entry;
        QByteArray candidate;
        const qint32 i = blockSearchFrom(indexFile, field.width, 0, 0, field.width, key, entry);
        logLine(QByteArrayLiteral("searchNdxFile:tvr ") + number(i));
        // The index may be stale: the hit counts only when the goods record really holds the key.
        if (i >= 0 && readRec(goodsBinFile, goods, i, candidate)
            && std::memcmp(candidate.constData() + field.offset, key.constData(), static_cast<size_t>(field.width))
                == 0) {
            record = candidate;
            return i;
        }
        // An index that matches the goods table entry for entry holds every key the table holds.
        // An index that cannot be read is passed over like a stale one.
        if (i == -1 && indexKnownFresh(indexFile, goodsBinFile, field.offset, field.width))
            return -1;
    }

    // Scan the goods table itself. When an old index is there, the same pass finds out whether it
    // matches the table, so that later misses need not scan the table again.
    QByteArray found;
    bool fresh = false;
    const qint32 j = usable && existed
        ? scanComparingIndex(goodsBinFile, goods.recordLength, field.offset, field.width, key, indexFile, found, fresh)
        : blockSearchFrom(goodsBinFile, goods.recordLength, 0, field.offset, field.width, key, found);
    logLine(QByteArrayLiteral("searchTvrFile:tvr ") + number(j));
    if (j < 0) {
        if (fresh)
            markIndexFresh(indexFile, goodsBinFile, field.offset, field.width);
        return j;
    }
    record = found;
    if (existed && buildIndex(goodsBinFile, goods.recordLength, indexFile, field.offset, field.width))
        markIndexFresh(indexFile, goodsBinFile, field.offset, field.width);
    return j;
}

KeyIndexFiles keyFilesFor(const QString& goodsBinFile, const TableDescr& goods, const FieldDescr& field, KeyRole role)
{
    KeyIndexFiles f;
    f.goodsFile = goodsBinFile;
    f.recordLength = goods.recordLength;
    f.keyOffset = field.offset;
    f.keyWidth = field.width;
    f.indexFile = indexFileName(goodsBinFile, role);
    f.sortedFile = sortedIndexFileName(f.indexFile);
    return f;
}

// The sorted file vouches for the index file as well, so it is built only beside an index file
// that holds the goods key column: one built or found equal in this run, or, after a hit, one
// compared with the table while the sorted file is built. A stale index file missed in is left
// as it was, and the sorted file with it, until a hit rebuilds both.
void followIndexFile(const KeyIndexFiles& f, bool hit)
{
    if (f.keyWidth > SortedKeyMaxWidth)
        return;
    const bool known = indexKnownFresh(f.indexFile, f.goodsFile, f.keyOffset, f.keyWidth);
    if ((known || hit)
        && buildSortedIndex(f, known ? IndexFileTrust::Trusted : IndexFileTrust::Compare) == SortedBuild::Failed)
        logLine(QByteArrayLiteral("searchNdx: not written ") + fromUi(f.sortedFile));
}

} // namespace

qint32 searchNdx(const QString& goodsBinFileAsNamed, const TableDescr& goods, KeyRole role, const QByteArray& keyText,
    QByteArray& record)
{
    const QString goodsBinFile = resolveFileCase(goodsBinFileAsNamed);
    const int fi = keyFieldIndex(goods, role);
    if (fi < 0)
        return -1;
    const FieldDescr& field = goods.fields[fi];
    QByteArray key;
    if (!searchKeyBytes(field, keyText, key) || field.width <= 0) {
        logLine(QByteArrayLiteral("searchNdxFile:tvr -1"));
        return -1;
    }
    const KeyIndexFiles files = keyFilesFor(goodsBinFile, goods, field, role);
    qint32 n = -1;
    if (lookupSortedIndex(files, key, n, record) != KeyLookup::Unusable) {
        logLine(QByteArrayLiteral("searchNdxFile:tvr ") + number(n));
        return n;
    }
    const qint32 j = searchIndexFile(goodsBinFile, goods, field, role, key, record);
    if (j != SearchFileError)
        followIndexFile(files, j >= 0);
    return j;
}

bool prepareIndexFiles(const QString& goodsBinFileAsNamed, const TableDescr& goods)
{
    const QString goodsBinFile = resolveFileCase(goodsBinFileAsNamed);
    if (!QFile::exists(goodsBinFile) || goods.recordLength <= 0)
        return true;
    bool ok = true;
    QList<SortedJob> sorted;
    for (KeyRole role : { KeyRole::Bar, KeyRole::Code }) {
        const int fi = keyFieldIndex(goods, role);
        if (fi < 0 || goods.fields[fi].width <= 0)
            continue;
        const FieldDescr& field = goods.fields[fi];
        const KeyIndexFiles files = keyFilesFor(goodsBinFile, goods, field, role);
        if (!QFile::exists(files.indexFile)) {
            if (!buildIndex(goodsBinFile, goods.recordLength, files.indexFile, field.offset, field.width)) {
                ok = false;
                continue;
            }
            markIndexFresh(files.indexFile, goodsBinFile, field.offset, field.width);
        }
        if (field.width > SortedKeyMaxWidth || sortedIndexUsable(files))
            continue;
        const bool known = indexKnownFresh(files.indexFile, goodsBinFile, field.offset, field.width);
        sorted.append({ files, known ? IndexFileTrust::Trusted : IndexFileTrust::Compare, SortedBuild::Failed });
    }
    buildSortedIndexes(sorted);
    for (const SortedJob& j : sorted)
        ok = ok && j.result != SortedBuild::Failed;
    return ok;
}

TvrHit searchTvr(const QByteArray& text, SearchOrder order, bool receiptMode, const QString& goodsBinFile,
    const TableDescr& goods, const QString& docBinFile, const TableDescr& doc, QByteArray& record)
{
    logLine(QByteArrayLiteral("searchTvr ") + reportText(text));
    TvrHit hit;
    const QByteArray t = text.trimmed();
    if (t.isEmpty())
        return hit;
    const TableDescr& table = receiptMode ? doc : goods;
    const int codeField = keyFieldIndex(table, KeyRole::Code);
    if (codeField < 0)
        return hit;
    hit.role = t.size() > table.fields[codeField].length ? KeyRole::Bar : KeyRole::Code;

    if (receiptMode) {
        hit.fieldIndex = keyFieldIndex(doc, hit.role);
        // The block search converts keys as directory lines are converted, cutting long ones.
        QByteArray key;
        if (searchKeyBytes(doc.fields[hit.fieldIndex], t, key))
            hit.record = blockSearch(docBinFile, doc, hit.fieldIndex, t, record);
        return hit;
    }

    // Done when found or when the goods table cannot be read (the other key would not read it
    // either).
    auto tryRole = [&](KeyRole role) {
        hit.role = role;
        hit.fieldIndex = keyFieldIndex(goods, role);
        hit.record = searchNdx(goodsBinFile, goods, role, t, record);
        return hit.record != -1;
    };
    if (hit.role == KeyRole::Bar) {
        tryRole(KeyRole::Bar);
        return hit;
    }
    switch (order) {
    case SearchOrder::CodeOnly:
        tryRole(KeyRole::Code);
        break;
    case SearchOrder::CodeThenBar:
        if (!tryRole(KeyRole::Code))
            tryRole(KeyRole::Bar);
        break;
    case SearchOrder::BarThenCode:
        if (!tryRole(KeyRole::Bar))
            tryRole(KeyRole::Code);
        break;
    }
    return hit;
}
