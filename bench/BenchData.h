#pragma once

#include "TableDescr.h"

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

inline FieldDescr benchField(const char* name, FieldType type, qint32 length)
{
    FieldDescr f;
    f.name = name;
    f.type = type;
    f.length = length;
    return f;
}

// The goods table of the tables and lookup benchmarks: 58-byte records.
inline TableDescr benchGoodsTable()
{
    TableDescr t;
    t.extension = "TVR";
    t.name = t.workName = "GOODS";
    t.tabChar = ';';
    t.fields = { benchField("CODE", FieldType::Digit, 6), benchField("BAR", FieldType::Digit, 13),
        benchField("NAME", FieldType::Text, 30), benchField("PRICE", FieldType::Summa, 10),
        benchField("QUANT", FieldType::Quantity, 10) };
    t.computeLayout();
    return t;
}
