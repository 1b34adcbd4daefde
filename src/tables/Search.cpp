#include "Search.h"
#include "TableFiles.h"

#include "FieldCodec.h"
#include "FileIo.h"
#include "Report.h"
#include "RunLog.h"

#include <QFile>
#include <QFileInfo>
#include <QStringBuilder>

#include <cstring>
#include <limits>

namespace {

// Keys are mostly digits with long common prefixes (barcodes of one maker): the last eight bytes
// tell records apart fastest, before the whole key is compared.
inline bool keyEquals(const char* field, const char* key, size_t width)
{
    if (width >= 8) {
        quint64 a = 0;
        quint64 b = 0;
        std::memcpy(&a, field + width - 8, 8);
        std::memcpy(&b, key + width - 8, 8);
        if (a != b)
            return false;
    }
    return std::memcmp(field, key, width) == 0;
}
} // namespace

qint32 blockSearch(
    const QString& binFile, const TableDescr& table, int fieldIndex, const QByteArray& keyText, QByteArray& record)
{
    logLine(QByteArrayLiteral("searchTxt ") + reportText(keyText));
    if (fieldIndex < 0 || fieldIndex >= table.fields.size())
        return -1;
    const FieldDescr& field = table.fields[fieldIndex];
    QByteArray key;
    if (!textToFieldBytes(field, keyText, key))
        return -1;
    return blockSearchFrom(binFile, table.recordLength, 0, field.offset, field.width, key, record);
}

qint32 blockSearchFrom(const QString& binFileAsNamed, qint32 recordLength, qint32 startRecord, qint32 fieldOffset,
    qint32 compareWidth, const QByteArray& keyBytes, QByteArray& record)
{
    const QString binFile = resolveFileCase(binFileAsNamed);
    if (recordLength <= 0 || startRecord < 0 || fieldOffset < 0 || compareWidth < 0
        || qint64(fieldOffset) + compareWidth > recordLength || keyBytes.size() < compareWidth)
        return -1;
    QFile file(binFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QFileInfo::exists(binFile) ? SearchFileError : -1;
    if (!file.seek(qint64(startRecord) * recordLength))
        return SearchFileError;
    // A record longer than the block still makes a block of one record, so long records are found.
    const qint64 perBlock = qMax<qint64>(1, SearchBlockBytes / recordLength);
    const qint64 blockSize = perBlock * recordLength;
    char stackBlock[SearchBlockBytes];
    QByteArray heapBlock;
    char* block = stackBlock;
    if (blockSize > SearchBlockBytes) {
        heapBlock.resize(blockSize);
        block = heapBlock.data();
    }
    const char* key = keyBytes.constData();
    const size_t width = static_cast<size_t>(compareWidth);
    qint64 first = startRecord;
    for (;;) {
        // Fill the block completely where the file allows, so records never straddle reads.
        const qint64 got = readFull(file, block, blockSize);
        if (got < 0)
            return SearchFileError;
        const qint64 whole = got / recordLength;
        for (qint64 i = 0; i < whole; ++i) {
            const char* rec = block + i * recordLength;
            if (keyEquals(rec + fieldOffset, key, width)) {
                record = QByteArray(rec, recordLength);
                const qint64 found = first + i;
                return found > std::numeric_limits<qint32>::max() ? -1 : static_cast<qint32>(found);
            }
        }
        if (got < blockSize)
            return -1;
        first += whole;
    }
}

bool searchKeyBytes(const FieldDescr& field, const QByteArray& keyText, QByteArray& key)
{
    // The converters cut TEXT and DIGIT values to the field's width, as a directory line wants;
    // a key cut that way would match another item's key.
    const bool cutByConverter = field.type == FieldType::Text || field.type == FieldType::Digit;
    if (cutByConverter && keyText.trimmed().size() > field.width)
        return false;
    return textToFieldBytes(field, keyText, key);
}
