#include "Units.h"

#include <QStringBuilder>

#include <limits>

namespace {
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads digits[0..n) as a non-negative decimal into out; false on overflow of qint32.
bool accumulate(const char* digits, int n, qint64& acc)
{
    for (int i = 0; i < n; ++i) {
        acc = acc * 10 + (digits[i] - '0');
        if (acc > std::numeric_limits<qint32>::max())
            return false;
    }
    return true;
}

QByteArray withPoint(qint32 value, int decimals)
{
    const bool negative = value < 0;
    QByteArray digits = QByteArray::number(negative ? -static_cast<qint64>(value) : static_cast<qint64>(value));
    if (digits.size() <= decimals)
        digits = QByteArray("0.") + QByteArray(decimals - digits.size(), '0') + digits;
    else
        digits.insert(digits.size() - decimals, '.');
    return negative ? QByteArray(QByteArray("-") + digits) : digits;
}
} // namespace

bool parseSumma(const QByteArray& text, qint32& out)
{
    const int n = text.size();
    const int point = text.indexOf('.');
    if (point < 1 || n - point - 1 != 2)
        return false;
    for (int i = 0; i < n; ++i)
        if (i != point && !isDigit(text[i]))
            return false;
    qint64 acc = 0;
    if (!accumulate(text.constData(), point, acc) || !accumulate(text.constData() + point + 1, 2, acc))
        return false;
    out = static_cast<qint32>(acc);
    return true;
}

bool parseQuantity(const QByteArray& text, qint32& out)
{
    const int n = text.size();
    int i = 0;
    while (i < n && isDigit(text[i]))
        ++i;
    const int intDigits = i;
    if (intDigits == 0)
        return false;
    int fracDigits = 0;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++fracDigits;
        }
    }
    if (i != n || fracDigits > 3)
        return false;
    qint64 acc = 0;
    if (!accumulate(text.constData(), intDigits, acc) || !accumulate(text.constData() + intDigits + 1, fracDigits, acc))
        return false;
    for (int k = fracDigits; k < 3; ++k) {
        acc *= 10;
        if (acc > std::numeric_limits<qint32>::max())
            return false;
    }
    out = static_cast<qint32>(acc);
    return true;
}

qint32 quantityOrMinusOne(const QByteArray& text)
{
    qint32 v = 0;
    return parseQuantity(text.trimmed(), v) ? v : -1;
}

QByteArray typedDecimal(const QByteArray& text)
{
    if (text.count(',') != 1 || text.contains('.'))
        return text;
    QByteArray pointed = text;
    pointed.replace(',', '.');
    return pointed;
}

QByteArray formatSumma(qint32 hundredths)
{
    return withPoint(hundredths, 2);
}

QByteArray formatQuantity(qint32 thousandths)
{
    return withPoint(thousandths, 3);
}

QByteArray minimalDecimal(const QByteArray& text)
{
    if (!text.contains('.'))
        return text;
    int end = text.size();
    while (end > 1 && text[end - 1] == '0')
        --end;
    if (end > 1 && text[end - 1] == '.')
        --end;
    return text.left(end);
}
