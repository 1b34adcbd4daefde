#include "FieldCodec.h"

#include "Units.h"

#include <QDateTime>
#include <QList>
#include <QStringBuilder>
#include <QtEndian>

#include <cstring>
#include <limits>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

void trim(const char*& value, qsizetype& size)
{
    while (size > 0 && isBlank(value[0])) {
        ++value;
        --size;
    }
    while (size > 0 && isBlank(value[size - 1]))
        --size;
}

// A base-10 integer with an optional sign, nothing else, within 32 bits.
bool parseInteger(const char* s, qsizetype n, qint32& out)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    if (i == n)
        return false;
    const qint64 limit = negative ? -static_cast<qint64>(std::numeric_limits<qint32>::min())
                                  : static_cast<qint64>(std::numeric_limits<qint32>::max());
    qint64 acc = 0;
    for (; i < n; ++i) {
        if (!isDigit(s[i]))
            return false;
        acc = acc * 10 + (s[i] - '0');
        if (acc > limit)
            return false;
    }
    out = static_cast<qint32>(negative ? -acc : acc);
    return true;
}

void putInt32(char* dest, qint32 v)
{
    qToLittleEndian<qint32>(v, dest);
}

qint32 getInt32(const char* src)
{
    return qFromLittleEndian<qint32>(src);
}

// Copies the characters at the given positions of the value; positions the value lacks become
// spaces, so a short date or time never reads past its text.
void copyPositions(const char* value, qsizetype size, const int* positions, int count, char* dest)
{
    for (int k = 0; k < count; ++k)
        dest[k] = positions[k] < size ? value[positions[k]] : ' ';
}

// Writes a decimal with `decimals` digits after the point into buf (no terminator); returns the
// length. The sign stands before the integer part.
int decimalText(qint32 value, int decimals, char* buf)
{
    char digits[16];
    int n = 0;
    quint32 u = value < 0 ? 0u - static_cast<quint32>(value) : static_cast<quint32>(value);
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    while (n <= decimals)
        digits[n++] = '0';
    int len = 0;
    if (value < 0)
        buf[len++] = '-';
    for (int k = n - 1; k >= 0; --k) {
        buf[len++] = digits[k];
        if (k == decimals && decimals > 0)
            buf[len++] = '.';
    }
    return len;
}

// Trailing '0's (never the first character) and then one trailing '.' removed.
int minimalLength(const char* buf, int len)
{
    int end = len;
    while (end > 1 && buf[end - 1] == '0')
        --end;
    if (end > 1 && buf[end - 1] == '.')
        --end;
    return end;
}

// Appends text with '0's before the digits (after any sign) up to length characters.
void appendZeroPadded(const char* text, qsizetype len, qint32 length, QByteArray& out)
{
    qsizetype pad = length > len ? length - len : 0;
    if (pad > 0 && len > 0 && text[0] == '-') {
        out.append('-');
        ++text;
        --len;
    }
    if (pad > 0)
        out.append(pad, '0');
    out.append(text, len);
}

} // namespace

bool fieldLayoutOk(const FieldDescr& field)
{
    if (field.offset < 0 || field.width < 0)
        return false;
    // Fixed-size types write their own width whatever the descriptor says; it must agree.
    return field.type == FieldType::Text || field.type == FieldType::Digit
        || field.width == fieldWidth(field.type, field.length);
}

bool tableLayoutOk(const TableDescr& table)
{
    for (const FieldDescr& f : table.fields)
        if (!fieldLayoutOk(f) || qint64(f.offset) + f.width > table.recordLength)
            return false;
    return table.recordLength > 0;
}

bool textToFieldRaw(const FieldDescr& field, const char* value, qsizetype size, char* dest)
{
    trim(value, size);
    const qsizetype width = field.width;
    switch (field.type) {
    case FieldType::Text: {
        const qsizetype n = qMin(size, width);
        std::memcpy(dest, value, static_cast<size_t>(n));
        std::memset(dest + n, ' ', static_cast<size_t>(width - n));
        return true;
    }
    case FieldType::Digit: {
        const qsizetype n = qMin(size, width);
        for (qsizetype i = 0; i < n; ++i)
            if (!isDigit(value[i]))
                return false;
        std::memcpy(dest, value, static_cast<size_t>(n));
        std::memset(dest + n, 0xFF, static_cast<size_t>(width - n));
        return true;
    }
    case FieldType::Integer: {
        qint32 v = 0;
        if (!parseInteger(value, size, v))
            return false;
        putInt32(dest, v);
        return true;
    }
    case FieldType::Summa: {
        qint32 v = 0;
        if (!parseSumma(QByteArray::fromRawData(value, size), v))
            return false;
        putInt32(dest, v);
        return true;
    }
    case FieldType::Quantity: {
        qint32 v = 0;
        if (!parseQuantity(QByteArray::fromRawData(value, size), v))
            return false;
        putInt32(dest, v);
        return true;
    }
    case FieldType::Date: {
        static const int positions[] = { 0, 1, 3, 4, 6, 7 };
        copyPositions(value, size, positions, 6, dest);
        return true;
    }
    case FieldType::Time: {
        static const int positions[] = { 0, 1, 3, 4 };
        copyPositions(value, size, positions, 4, dest);
        return true;
    }
    }
    return false;
}

bool textToField(const FieldDescr& field, const QByteArray& value, QByteArray& record)
{
    if (!fieldLayoutOk(field) || record.size() < qsizetype(field.offset) + field.width)
        return false;
    // Convert into a scratch copy so that a failure leaves the record as it was.
    char scratch[64];
    QByteArray big;
    char* dest = scratch;
    if (field.width > qsizetype(sizeof scratch)) {
        big.resize(field.width);
        dest = big.data();
    }
    if (!textToFieldRaw(field, value.constData(), value.size(), dest))
        return false;
    std::memcpy(record.data() + field.offset, dest, static_cast<size_t>(field.width));
    return true;
}

bool textToFieldBytes(const FieldDescr& field, const QByteArray& value, QByteArray& fieldBytes)
{
    if (!fieldLayoutOk(field))
        return false;
    QByteArray bytes(field.width, '\0');
    if (!textToFieldRaw(field, value.constData(), value.size(), bytes.data()))
        return false;
    fieldBytes = bytes;
    return true;
}

void appendFieldText(const FieldDescr& field, const char* bytes, QByteArray& out)
{
    const qsizetype width = field.width;
    switch (field.type) {
    case FieldType::Text: {
        const char* p = bytes;
        qsizetype n = width;
        if (field.rule == LenRule::Minimal)
            trim(p, n);
        out.append(p, n);
        if (field.rule == LenRule::Maxlen && field.length > n)
            out.append(field.length - n, ' ');
        return;
    }
    case FieldType::Digit: {
        // 0xFF padding reads as blanks, then the value is trimmed.
        char local[64];
        QByteArray big;
        char* buf = local;
        if (width > qsizetype(sizeof local)) {
            big.resize(width);
            buf = big.data();
        }
        for (qsizetype i = 0; i < width; ++i)
            buf[i] = bytes[i] == '\xFF' ? ' ' : bytes[i];
        const char* p = buf;
        qsizetype n = width;
        trim(p, n);
        if (field.rule == LenRule::Maxlen)
            appendZeroPadded(p, n, field.length, out);
        else
            out.append(p, n);
        return;
    }
    case FieldType::Integer:
    case FieldType::Summa:
    case FieldType::Quantity: {
        const int decimals = field.type == FieldType::Summa ? 2 : field.type == FieldType::Quantity ? 3 : 0;
        char buf[24];
        int len = decimalText(getInt32(bytes), decimals, buf);
        if (field.rule == LenRule::Minimal && decimals > 0)
            len = minimalLength(buf, len);
        if (field.rule == LenRule::Maxlen)
            appendZeroPadded(buf, len, field.length, out);
        else
            out.append(buf, len);
        return;
    }
    case FieldType::Date: {
        const char text[8] = { bytes[0], bytes[1], '.', bytes[2], bytes[3], '.', bytes[4], bytes[5] };
        out.append(text, 8);
        return;
    }
    case FieldType::Time: {
        const char text[5] = { bytes[0], bytes[1], ':', bytes[2], bytes[3] };
        out.append(text, 5);
        return;
    }
    }
}

QByteArray fieldToText(const FieldDescr& field, const QByteArray& record)
{
    QByteArray out;
    if (!fieldLayoutOk(field) || record.size() < qsizetype(field.offset) + field.width)
        return out;
    appendFieldText(field, record.constData() + field.offset, out);
    return out;
}

QByteArray defaultRecord(const TableDescr& table)
{
    QByteArray record(qMax(table.recordLength, 0), ' ');
    const QDateTime now = QDateTime::currentDateTime();
    for (const FieldDescr& f : table.fields) {
        QByteArray text;
        switch (f.type) {
        case FieldType::Text:
        case FieldType::Digit:
            break;
        case FieldType::Integer:
            text = QByteArrayLiteral("0");
            break;
        case FieldType::Summa:
            text = QByteArrayLiteral("0.00");
            break;
        case FieldType::Quantity:
            text = QByteArrayLiteral("0.000");
            break;
        case FieldType::Date:
            text = now.toString(QStringLiteral("dd.MM.yy")).toLatin1();
            break;
        case FieldType::Time:
            text = now.toString(QStringLiteral("hh:mm")).toLatin1();
            break;
        }
        textToField(f, text, record);
    }
    return record;
}

namespace {

// Converts the items of the first fieldCount fields; the result as lineToRecordRaw() gives it.
int convertItems(const TableDescr& table, const char* line, qsizetype size, int fieldCount, char* record,
    qsizetype* badBegin, qsizetype* badSize)
{
    const char tab = table.tabChar;
    qsizetype pos = 0;
    for (int i = 0; i < fieldCount; ++i) {
        const FieldDescr& f = table.fields[i];
        qsizetype begin = pos;
        qsizetype end = size;
        if (pos < size) {
            const void* hit = std::memchr(line + pos, tab, static_cast<size_t>(size - pos));
            if (hit)
                end = static_cast<const char*>(hit) - line;
            pos = end + 1;
        } else {
            begin = end = size; // fewer items than fields: empty text
        }
        if (!textToFieldRaw(f, line + begin, end - begin, record + f.offset)) {
            if (badBegin)
                *badBegin = begin;
            if (badSize)
                *badSize = end - begin;
            return i;
        }
    }
    return -1;
}

} // namespace

int lineToRecordRaw(
    const TableDescr& table, const char* line, qsizetype size, char* record, qsizetype* badBegin, qsizetype* badSize)
{
    return convertItems(table, line, size, table.fields.size(), record, badBegin, badSize);
}

int cutLineToRecordRaw(
    const TableDescr& table, const char* head, qsizetype size, char* record, qsizetype* badBegin, qsizetype* badSize)
{
    // Items that end at a tab inside the head are whole; the one the cut falls in is not.
    const int fieldCount = table.fields.size();
    int whole = 0;
    qsizetype cutItem = 0;
    while (whole < fieldCount && cutItem < size) {
        const void* hit = std::memchr(head + cutItem, table.tabChar, static_cast<size_t>(size - cutItem));
        if (!hit)
            break;
        cutItem = static_cast<const char*>(hit) - head + 1;
        ++whole;
    }
    // Every field lies whole in the head: the cut is among items beyond the last field, which
    // are ignored anyway.
    if (whole == fieldCount)
        return convertItems(table, head, size, fieldCount, record, badBegin, badSize);
    const int bad = convertItems(table, head, cutItem, whole, record, badBegin, badSize);
    if (bad >= 0)
        return bad;
    if (badBegin)
        *badBegin = cutItem;
    if (badSize)
        *badSize = size - cutItem;
    return whole;
}

int lineToRecord(const TableDescr& table, const QByteArray& line, QByteArray& record, QByteArray* badText)
{
    if (!tableLayoutOk(table))
        return 0;
    if (record.size() < table.recordLength)
        record.resize(table.recordLength);
    qsizetype begin = 0;
    qsizetype size = 0;
    const int bad = lineToRecordRaw(table, line.constData(), line.size(), record.data(), &begin, &size);
    if (bad >= 0 && badText)
        *badText = line.mid(begin, size);
    return bad;
}

void appendRecordLine(const TableDescr& table, const char* record, QByteArray& out)
{
    for (int i = 0; i < table.fields.size(); ++i) {
        if (i > 0)
            out.append(table.tabChar);
        const FieldDescr& f = table.fields[i];
        appendFieldText(f, record + f.offset, out);
    }
    out.append("\r\n", 2);
}

QByteArray recordToLine(const TableDescr& table, const QByteArray& record)
{
    QByteArray out;
    if (!tableLayoutOk(table) || record.size() < table.recordLength)
        return out;
    appendRecordLine(table, record.constData(), out);
    return out;
}

bool ruleReadsBack(const FieldDescr& field)
{
    if (!fieldLayoutOk(field))
        return false;
    // Typical values of each type, as the office writes them; what a value becomes in the field
    // is written out under the rule and must convert back to the same bytes.
    QList<QByteArray> samples;
    switch (field.type) {
    case FieldType::Text:
        samples = { "", "A", "Name 1" };
        break;
    case FieldType::Digit:
        samples = { "", "7", "4600000000017" };
        break;
    case FieldType::Integer:
        samples = { "0", "42", "-7" };
        break;
    case FieldType::Summa:
        samples = { "0.00", "5.50", "12.05", "100.00" };
        break;
    case FieldType::Quantity:
        samples = { "0.000", "1.500", "1.000", "0.125" };
        break;
    case FieldType::Date:
        samples = { "01.02.25" };
        break;
    case FieldType::Time:
        samples = { "10:00" };
        break;
    }
    QByteArray stored(field.width, '\0');
    QByteArray back(field.width, '\0');
    for (const QByteArray& sample : samples) {
        if (!textToFieldRaw(field, sample.constData(), sample.size(), stored.data()))
            continue;
        QByteArray text;
        appendFieldText(field, stored.constData(), text);
        if (!textToFieldRaw(field, text.constData(), text.size(), back.data()) || back != stored)
            return false;
    }
    return true;
}
