#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Table, view and parameter-view descriptors, read from the TABLE, VIEW and PARMVIEW sections of
// "OrtSystem.ini". Texts are Windows-1251 bytes, cut to the lengths below.

enum class FieldType : qint32 { Text = 0, Digit = 1, Integer = 2, Summa = 3, Quantity = 4, Date = 5, Time = 6 };
enum class LenRule : qint32 { Standart = 0, Minimal = 1, Maxlen = 2 };

constexpr int MaxFields = 32;
constexpr int MaxColumns = 32;
constexpr int MaxParms = 64;
constexpr int FieldNameMax = 11;
constexpr int DescrNameMax = 31; // NAME, PNAME, TABLENAME, PARMNAME, column title, font family
constexpr int ExtensionMax = 15; // EXTENSION, TABLEEXTENSION, MODE
constexpr int ParmKeyMax = 31;
constexpr int ParmLabelMax = 34;
// Longest FIELD length accepted: keeps every record a size a file and a buffer can hold.
constexpr int MaxFieldLength = 4096;

// Bytes a field of this type and length occupies in a binary record.
constexpr qint32 fieldWidth(FieldType type, qint32 length)
{
    switch (type) {
    case FieldType::Text:
    case FieldType::Digit:
        return length <= 0 ? 0 : ((length + 1) / 2) * 2;
    case FieldType::Date:
        return 6;
    case FieldType::Integer:
    case FieldType::Summa:
    case FieldType::Quantity:
    case FieldType::Time:
        return 4;
    }
    return 0;
}

struct FieldDescr {
    QByteArray name;
    FieldType type = FieldType::Text;
    LenRule rule = LenRule::Standart;
    qint32 aux = 0;
    qint32 length = 0;
    qint32 width = 0; // computed
    qint32 offset = 0; // computed
};

struct TableDescr {
    qint32 recordLength = 0; // computed: sum of widths
    qint32 recordCount = 0;
    char tabChar = ',';
    QList<FieldDescr> fields;
    QByteArray pname; // display name, may carry a suffix after the first blank
    QByteArray name; // configured NAME
    QByteArray extension; // TVR, PRH, RES, WGT, TAB
    QByteArray workName; // base of the file names; starts as NAME

    // Offsets and widths in field order, and the record length; no padding, no header.
    void computeLayout()
    {
        qint32 offset = 0;
        for (FieldDescr& f : fields) {
            f.width = fieldWidth(f.type, f.length);
            f.offset = offset;
            offset += f.width;
        }
        recordLength = offset;
    }
    // Index of the first field named exactly so, or -1.
    int fieldIndex(const QByteArray& fieldName) const
    {
        for (int i = 0; i < fields.size(); ++i)
            if (fields[i].name == fieldName)
                return i;
        return -1;
    }
};

enum : qint32 { AlignLeft = 1, AlignRight = 2, AlignCenter = 132 };

struct ColumnDescr {
    QByteArray fieldName;
    QByteArray title;
    qint32 width = 0; // pixels
    char shown = '-'; // '+' visible and read back when a row is edited
    qint32 alignment = AlignLeft; // Qt horizontal alignment value
    qint32 fieldIndex = -1; // in the bound table; filled by bind()
};

enum class ColumnFilter { Any, Shown, Hidden };

struct ViewDescr {
    qint32 rows = 5;
    QList<ColumnDescr> columns;
    QByteArray mode;
    QByteArray tableName;
    QByteArray tableExtension;
    QByteArray fontFamily = "Courier";
    qint32 fontSize = 12;

    // Index of the first column naming that field, or -1.
    int columnOfField(const QByteArray& fieldName) const
    {
        for (int i = 0; i < columns.size(); ++i)
            if (columns[i].fieldName == fieldName)
                return i;
        return -1;
    }
    // Sets every column's field index from the table (-1 where the table lacks the field).
    void bind(const TableDescr& table)
    {
        for (ColumnDescr& c : columns)
            c.fieldIndex = table.fieldIndex(c.fieldName);
    }
    // Index of the first column showing field index fi and passing the filter, or -1.
    int columnOfFieldIndex(int fi, ColumnFilter filter = ColumnFilter::Any) const
    {
        for (int i = 0; i < columns.size(); ++i) {
            const ColumnDescr& c = columns[i];
            if (c.fieldIndex != fi)
                continue;
            if (filter == ColumnFilter::Shown && c.shown != '+')
                continue;
            if (filter == ColumnFilter::Hidden && c.shown == '+')
                continue;
            return i;
        }
        return -1;
    }
};

struct ParmDescr {
    qint32 kind = 0;
    char flag = '-';
    QByteArray key; // upper-cased
    QByteArray label;
};

struct ParmViewDescr {
    QByteArray name;
    QByteArray fontFamily = "Courier";
    qint32 fontSize = 12;
    QList<ParmDescr> parms;
};

// Record transfer between two layouts: each target field with a namesake in the source gets the
// source bytes (as many as the target width; a shorter source field is padded with the target's
// own bytes left as they were). Target fields without a namesake are left as they were.
void transferRecord(
    const TableDescr& source, const QByteArray& sourceRecord, const TableDescr& target, QByteArray& targetRecord);
// 32 characters: '-' everywhere, '+' at i for every target field i without a namesake in source.
QByteArray newFieldFlags(const TableDescr& source, const TableDescr& target);
