#include "TableDescr.h"

void transferRecord(
    const TableDescr& source, const QByteArray& sourceRecord, const TableDescr& target, QByteArray& targetRecord)
{
    for (const FieldDescr& to : target.fields) {
        const int from = source.fieldIndex(to.name);
        if (from < 0)
            continue;
        const FieldDescr& src = source.fields[from];
        // Never more than the source field holds, and never outside either record.
        const qint64 count = qMin<qint64>(qMin<qint64>(to.width, src.width),
            qMin<qint64>(sourceRecord.size() - qint64(src.offset), targetRecord.size() - qint64(to.offset)));
        if (count <= 0 || src.offset < 0 || to.offset < 0)
            continue;
        targetRecord.replace(to.offset, int(count), sourceRecord.constData() + src.offset, int(count));
    }
}

QByteArray newFieldFlags(const TableDescr& source, const TableDescr& target)
{
    QByteArray flags(MaxFields, '-');
    for (int i = 0; i < target.fields.size() && i < MaxFields; ++i)
        if (source.fieldIndex(target.fields[i].name) < 0)
            flags[i] = '+';
    return flags;
}
