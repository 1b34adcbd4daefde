#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QList>

// Descriptors built in code, the way the settings reader leaves them (layout computed).
namespace Fixtures {

inline FieldDescr field(const char* name, FieldType type, qint32 length, LenRule rule = LenRule::Standart)
{
    FieldDescr f;
    f.name = name;
    f.type = type;
    f.rule = rule;
    f.length = length;
    return f;
}

inline TableDescr table(const char* extension, const char* workName, char tabChar, const QList<FieldDescr>& fields)
{
    TableDescr t;
    t.extension = extension;
    t.name = workName;
    t.workName = workName;
    t.pname = workName;
    t.tabChar = tabChar;
    t.fields = fields;
    t.computeLayout();
    return t;
}

// Goods table: CODE (6), BAR (13), NAME (36), PRICE, QUANT; record length 64.
inline TableDescr goods(char tabChar = ';')
{
    return table("TVR", "GOODS", tabChar,
        { field("CODE", FieldType::Digit, 6), field("BAR", FieldType::Digit, 13), field("NAME", FieldType::Text, 36),
            field("PRICE", FieldType::Summa, 10), field("QUANT", FieldType::Quantity, 10) });
}

// The small table of the examples: TEXT (5), SUMMA, DATE; record length 16.
inline TableDescr small(char tabChar = ';')
{
    return table("TAB", "SMALL", tabChar,
        { field("NAME", FieldType::Text, 5), field("SUM", FieldType::Summa, 10), field("DAY", FieldType::Date, 8) });
}

} // namespace Fixtures
