#pragma once

#include "FieldCodec.h"
#include "TableDescr.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTest>

// Descriptors and table files for the screen tests, built in code the way the settings reader
// and the conversions leave them.
namespace ViewFx {

using Fixtures::field;

inline ColumnDescr column(
    const char* fieldName, const char* titleUtf8, qint32 width, char shown = '+', qint32 alignment = AlignLeft)
{
    ColumnDescr c;
    c.fieldName = fieldName;
    c.title = TestUtil::cp(titleUtf8);
    c.width = width;
    c.shown = shown;
    c.alignment = alignment;
    return c;
}

// Goods: CODE (DIGIT 6), BAR (DIGIT 13), NAME (TEXT 20), PRICE (SUMMA), QTY (QUANTITY).
inline TableDescr goods()
{
    TableDescr t;
    t.extension = "TVR";
    t.name = "GOODS";
    t.workName = "GOODS";
    t.pname = TestUtil::cp("Справочник товаров");
    t.tabChar = ';';
    t.fields
        = { field("CODE", FieldType::Digit, 6), field("BAR", FieldType::Digit, 13), field("NAME", FieldType::Text, 20),
              field("PRICE", FieldType::Summa, 10), field("QTY", FieldType::Quantity, 10) };
    t.computeLayout();
    return t;
}

// Code, name, price and barcode shown; the quantity hidden.
inline ViewDescr goodsView()
{
    ViewDescr v;
    v.tableExtension = "TVR";
    v.mode = TestUtil::cp("ПРОСМОТР");
    v.columns = { column("CODE", "Код", 60), column("NAME", "Наименование", 150),
        column("PRICE", "Цена", 70, '+', AlignRight), column("BAR", "Штрихкод", 120),
        column("QTY", "Кол-во", 60, '-', AlignRight) };
    return v;
}

// One record from a line of the table's text form ("code;bar;name;price;qty").
inline QByteArray record(const TableDescr& table, const char* lineUtf8)
{
    QByteArray rec(table.recordLength, '\0');
    const int bad = lineToRecord(table, TestUtil::cp(lineUtf8), rec);
    if (bad >= 0)
        qFatal("fixture line does not convert: %s", lineUtf8);
    return rec;
}

// Record i of a generated goods table: code 1000+i, barcode 4600000000000+i, "Товар i", i.50.
inline QByteArray goodsRecord(const TableDescr& table, int i)
{
    const QByteArray line = QByteArray::number(1000 + i) + ';' + QByteArray::number(4600000000000LL + i) + ';'
        + TestUtil::cp("Товар ") + QByteArray::number(i) + ';' + QByteArray::number(i) + ".50;1.000";
    QByteArray rec(table.recordLength, '\0');
    if (lineToRecord(table, line, rec) >= 0)
        qFatal("generated goods line does not convert");
    return rec;
}

// Writes the records as the table file and sets the table's record count.
inline bool writeTable(const QString& path, TableDescr& table, const QList<QByteArray>& records)
{
    QByteArray bytes;
    for (const QByteArray& r : records)
        bytes += r;
    table.recordCount = static_cast<qint32>(records.size());
    return TestUtil::writeFile(path, bytes);
}

inline bool writeGoods(const QString& path, TableDescr& table, int count)
{
    QList<QByteArray> records;
    for (int i = 0; i < count; ++i)
        records << goodsRecord(table, i);
    return writeTable(path, table, records);
}

// QTest::keyClicks knows only Latin-1: Cyrillic letters go as key events carrying their text.
inline void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(widget, char(ch.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

// Saves the window (when ORTOVA_SCREENS_DIR is set) under the name, with the data row appended.
inline void screen(QWidget* window, const char* name)
{
    QString file = QString::fromLatin1(name);
    if (const char* tag = QTest::currentDataTag())
        file += QLatin1Char('-') + QString::fromLatin1(tag);
    for (QChar& ch : file)
        if (!ch.isLetterOrNumber() && ch != QLatin1Char('-'))
            ch = QLatin1Char('-');
    TestUtil::saveScreen(window, file);
}

} // namespace ViewFx
