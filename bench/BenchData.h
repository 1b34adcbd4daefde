#pragma once

#include <QByteArray>
#include <QtGlobal>

// Test data shared by the benchmark programs.

// 12 digits and their EAN-13 check digit.
inline QByteArray ean13(qint64 twelve)
{
    QByteArray digits = QByteArray::number(twelve).rightJustified(12, '0');
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += (digits[i] - '0') * (i % 2 ? 3 : 1);
    return digits + char('0' + (10 - sum % 10) % 10);
}

// The barcode of goods item i.
inline QByteArray barcodeOf(qint64 i)
{
    return ean13(460000000000LL + i);
}
