#include "Reduction.h"

#include "Codec.h"
#include "ConvFile.h"
#include "DocKind.h"
#include "FileIo.h"
#include "Index.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableFiles.h"
#include "Transfer.h"
#include "WgtMemDescr.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

QByteArray nameBytes(const QString& path)
{
    return fromUi(path);
}

// The table as it was: nothing replaced, the count read from the old file.
ReduceResult keepOld(TableDescr& table, const QString& binFile, const QByteArray& why)
{
    logLine(QByteArrayLiteral("reduceText: table kept, ") + why);
    table.recordCount = recordCountOf(binFile, table);
    return ReduceResult::Failed;
}

// The index files of the old goods table go, for good, before the new table takes its name: a
// crash in between must not leave them beside a table they do not describe (the next start builds
// missing ones).
void dropIndexes(const QString& binFile)
{
    for (KeyRole role : { KeyRole::Bar, KeyRole::Code })
        QFile::remove(indexFileName(binFile, role));
    if (!syncFolder(QFileInfo(binFile).absolutePath()))
        logLine(QByteArrayLiteral("reduceText: folder not flushed ") + nameBytes(binFile));
}

// The index files follow the goods table now, not at the first scan.
void buildIndexes(const QString& binFile, const TableDescr& goods)
{
    if (!prepareIndexFiles(binFile, goods))
        logLine(QByteArrayLiteral("reduceText: index files not built"));
}

} // namespace

ReduceResult reduceText(
    ConvFile& conv, int typeCode, const QString& textAsNamed, const QString& binAsNamed, TableDescr& table)
{
    const QString textFile = resolveFileCase(textAsNamed);
    const QString binFile = resolveFileCase(binAsNamed);
    logLine(QByteArrayLiteral("reduceText ") + QByteArray::number(typeCode) + ' ' + nameBytes(textFile) + " -> "
        + nameBytes(binFile));
    const std::optional<DocKind> known = docKindOf(typeCode);
    if (!known)
        return keepOld(table, binFile, "no table for the type");
    const DocKind kind = *known;
    const QFileInfo text(textFile);
    if (!text.isFile())
        return keepOld(table, binFile, "no text file " + nameBytes(textFile));
    if (text.size() == 0) {
        table.recordCount = recordCountOf(binFile, table);
        return ReduceResult::Empty;
    }
    if (sameFile(textFile, binFile))
        return keepOld(table, binFile, "text file is the table");

    // The new table is made beside the old one and checked before it takes the old one's name.
    QString temp;
    const int fd = createTemporaryBeside(binFile, temp);
    if (fd < 0)
        return keepOld(table, binFile, "no temporary file");
    ::close(fd);
    const ConvFile::Status status = conv.convertToBin(textFile, temp, table);
    const qint32 records = table.recordCount;
    QByteArray refused;
    if (status == ConvFile::Status::FileError)
        refused = "conversion failed";
    else if (records == 0)
        refused = "no line converted";
    else if (kind == DocKind::WeightCodes && !WgtMemDescr().load(table, temp))
        refused = "not loadable as weight codes";
    // The temporary was made readable by its owner alone; the table keeps the permissions it had.
    if (refused.isEmpty() && !giveReplacementMode(temp, binFile))
        refused = "permissions not set";
    if (refused.isEmpty() && kind == DocKind::Goods)
        dropIndexes(binFile);
    if (refused.isEmpty() && !renameInPlace(temp, binFile)) {
        refused = "not renamed";
        if (kind == DocKind::Goods)
            buildIndexes(binFile, table);
    }
    if (!refused.isEmpty()) {
        QFile::remove(temp);
        return keepOld(table, binFile, refused);
    }

    // The office's table holds none of the terminal's changes.
    QFile::remove(resolveFileCase(changeMarkerName(binFile)));
    if (kind == DocKind::Goods)
        buildIndexes(binFile, table);
    table.recordCount = records;
    return status == ConvFile::Status::Ok ? ReduceResult::Ok : ReduceResult::BadLines;
}

bool convertForUnload(ConvFile& conv, const QString& binAsNamed, const QString& textFile, const TableDescr& table)
{
    return conv.ConvertToTxt(binAsNamed, textFile, table);
}
