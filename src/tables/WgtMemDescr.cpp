#include "WgtMemDescr.h"

#include "Codec.h"
#include "RunLog.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <limits>

namespace {

constexpr qint32 LengthOffset = 0;
constexpr qint32 PrefixOffset = 4;
constexpr qint32 PrefixWidth = 16;
constexpr qint32 LayoutOffset = 20;
constexpr qint32 LayoutWidth = 32;
constexpr qint32 ScaleOffset = 52;
constexpr qint32 IntegerWidth = 4;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

qint32 integerAt(const QByteArray& bytes, qint32 offset)
{
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

// A text field as the terminal keeps it in memory: up to its first NUL, blanks trimmed.
QByteArray textAt(const QByteArray& bytes, qint32 offset, qint32 width)
{
    QByteArray text = bytes.mid(offset, width);
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    return text.trimmed();
}

bool fieldIs(const FieldDescr& field, FieldType type, qint32 offset, qint32 width)
{
    return field.type == type && field.offset == offset && field.width == width;
}

} // namespace

bool WgtMemDescr::descriptorFits(const TableDescr& wgt)
{
    if (wgt.recordLength != RecordBytes || wgt.fields.size() != 4)
        return false;
    return fieldIs(wgt.fields[0], FieldType::Integer, LengthOffset, IntegerWidth)
        && fieldIs(wgt.fields[1], FieldType::Text, PrefixOffset, PrefixWidth)
        && fieldIs(wgt.fields[2], FieldType::Text, LayoutOffset, LayoutWidth)
        && fieldIs(wgt.fields[3], FieldType::Integer, ScaleOffset, IntegerWidth);
}

WgtRecord WgtMemDescr::fromBytes(const QByteArray& bytes)
{
    WgtRecord r;
    if (bytes.size() < RecordBytes)
        return r;
    r.length = integerAt(bytes, LengthOffset);
    r.prefix = textAt(bytes, PrefixOffset, PrefixWidth);
    r.layout = textAt(bytes, LayoutOffset, LayoutWidth);
    r.scale = integerAt(bytes, ScaleOffset);
    return r;
}

void WgtMemDescr::report(const QByteArray& line)
{
    logLine(line);
    m_report.append(line);
}

bool WgtMemDescr::load(const TableDescr& wgt, const QString& binFile)
{
    m_report.clear();
    clear();
    report(fromUi(QStringLiteral("   Преобразование справочника ")) + wgt.pname);
    // The records are cut apart by fixed offsets, so a table described any other way would be
    // read as garbage: refuse it whatever its record length.
    if (!descriptorFits(wgt)) {
        report(fromUi(QStringLiteral("   Несоответствие описателей весовых штрихкодов")));
        report(fromUi(QStringLiteral("    Размер в памяти ")) + QByteArray::number(RecordBytes)
            + fromUi(QStringLiteral("    Длина записи ")) + QByteArray::number(wgt.recordLength));
        return false;
    }
    const QFileInfo info(binFile);
    if (!info.exists())
        return true;
    const qint64 size = info.size();
    const qint64 count = size / RecordBytes;
    if (count > MaxRecords) {
        report(fromUi(QStringLiteral("    Слишком много весовых штрихкодов ")) + QByteArray::number(count));
        return false;
    }
    if (count == 0)
        return true;
    QFile file(binFile);
    if (!file.open(QIODevice::ReadOnly)) {
        report(fromUi(QStringLiteral("    Справочник не открыт: ")) + wgt.pname);
        return false;
    }
    const QByteArray bytes = file.read(size);
    if (bytes.size() < size) {
        report(fromUi(QStringLiteral("    Ошибка чтения: ")) + wgt.pname);
        return false;
    }
    QList<WgtRecord> records;
    records.reserve(count);
    for (qint64 i = 0; i < count; ++i)
        records.append(fromBytes(bytes.mid(i * RecordBytes, RecordBytes)));
    m_records = std::move(records);
    return true;
}

void WgtMemDescr::clear()
{
    m_records.clear();
}

int WgtMemDescr::count() const
{
    return static_cast<int>(m_records.size());
}

const QList<WgtRecord>& WgtMemDescr::records() const
{
    return m_records;
}

const QList<QByteArray>& WgtMemDescr::loadReport() const
{
    return m_report;
}

qint32 WgtMemDescr::match(QByteArray& text) const
{
    if (text.size() > MaxText)
        return -1;
    for (const WgtRecord& record : m_records) {
        const qint32 weight = apply(text, record);
        if (weight != -1)
            return weight;
    }
    return -1;
}

namespace {

// apply() without its run-log line.
qint32 applyRecord(QByteArray& text, const WgtRecord& record)
{
    if (text.size() != record.length || !text.startsWith(record.prefix))
        return -1;
    if (record.scale < 0 || record.scale > WgtMemDescr::MaxScale)
        return -1;

    const QByteArray& layout = record.layout;
    QByteArray code;
    QByteArray digits;
    qsizetype pos = 0;
    qint32 previous = 0; // count of the element before, for Z
    qsizetype i = 0;
    while (i < layout.size()) {
        qint32 count = 1;
        if (isDigit(layout[i])) {
            count = 0;
            // Stopping at the first count past the limit keeps "99999A" from overflowing.
            while (i < layout.size() && isDigit(layout[i])) {
                count = count * 10 + (layout[i] - '0');
                if (count > WgtMemDescr::MaxText)
                    return -1;
                ++i;
            }
            if (i == layout.size())
                return -1;
        }
        const char letter = upper(layout[i++]);
        const qsizetype left = text.size() - pos;
        switch (letter) {
        case 'S':
            if (count > left)
                return -1;
            pos += count;
            break;
        case 'A':
            if (count > left)
                return -1;
            code += text.mid(pos, count);
            pos += count;
            break;
        case 'W':
            if (count > left)
                return -1;
            digits += text.mid(pos, count);
            pos += count;
            break;
        case 'Z':
            // Zeroes the field the element before took, so Z carries that element's count on.
            code += QByteArray(previous, '0');
            count = previous;
            break;
        default:
            return -1;
        }
        if (code.size() > WgtMemDescr::MaxText || digits.size() > WgtMemDescr::MaxText)
            return -1;
        previous = count;
    }
    // Without a goods key there is nothing to look up: the barcode is better looked up as typed.
    if (code.isEmpty())
        return -1;

    constexpr qint64 Max = std::numeric_limits<qint32>::max();
    qint64 weight = 0;
    for (const char c : digits) {
        if (!isDigit(c))
            return -1;
        weight = weight * 10 + (c - '0');
        if (weight > Max)
            return -1;
    }
    for (qint32 k = 0; k < record.scale; ++k) {
        weight *= 10;
        if (weight > Max)
            return -1;
    }
    text = code;
    return static_cast<qint32>(weight);
}

} // namespace

qint32 WgtMemDescr::apply(QByteArray& text, const WgtRecord& record)
{
    logLine(QByteArrayLiteral("convWgtItem ") + QByteArray::number(record.length) + ' ' + record.prefix + ' '
        + record.layout);
    return applyRecord(text, record);
}

bool WgtMemDescr::canMatch(const WgtRecord& record)
{
    if (record.length < 1 || record.length > MaxText || record.prefix.size() > record.length)
        return false;
    // A matching barcode begins with the prefix and is free after it; '0' serves wherever the
    // layout puts a weight digit, so this one barcode matches exactly when any does.
    QByteArray text = record.prefix + QByteArray(record.length - record.prefix.size(), '0');
    return applyRecord(text, record) != -1;
}
