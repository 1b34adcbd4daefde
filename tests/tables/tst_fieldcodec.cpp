#include "FieldCodec.h"
#include "Report.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QDate>
#include <QTest>
#include <QTime>

using Fixtures::field;

Q_DECLARE_METATYPE(FieldType)
Q_DECLARE_METATYPE(LenRule)

class TestFieldCodec : public QObject {
    Q_OBJECT

private slots:
    void convert_data();
    void convert();
    void format_data();
    void format();
    void roundTrip_data();
    void roundTrip();
    void exampleRecord();
    void splitLine_data();
    void splitLine();
    void recordToLineJoinsWithTabChar();
    void defaults();
    void badLayoutIsRefused();
    void badItemLineText();
    void ruleReadsBack_data();
    void ruleReadsBack();
};

void TestFieldCodec::convert_data()
{
    QTest::addColumn<FieldType>("type");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("bytes"); // hex of the stored field

    const auto T = FieldType::Text;
    const auto D = FieldType::Digit;
    const auto I = FieldType::Integer;
    const auto S = FieldType::Summa;
    const auto Q = FieldType::Quantity;

    QTest::newRow("text padded") << T << 5 << QByteArray("ABC") << true << QByteArray("414243202020");
    QTest::newRow("text trimmed") << T << 5 << QByteArray(" \tABC  ") << true << QByteArray("414243202020");
    QTest::newRow("text cut to width") << T << 5 << QByteArray("ABCDEFGH") << true << QByteArray("414243444546");
    QTest::newRow("text cp1251 kept") << T << 4 << TestUtil::cp("Ёж") << true << QByteArray("a8e62020");
    QTest::newRow("text nul kept") << T << 2 << QByteArray("a\0b", 3) << true << QByteArray("6100");
    QTest::newRow("text empty") << T << 3 << QByteArray() << true << QByteArray("20202020");
    QTest::newRow("digit padded ff") << D << 13 << QByteArray("4600") << true
                                     << QByteArray("34363030ffffffffffffffffffff");
    QTest::newRow("digit empty") << D << 6 << QByteArray("  ") << true << QByteArray("ffffffffffff");
    QTest::newRow("digit 14 in width 14")
        << D << 13 << QByteArray("12345678901234") << true << QByteArray("3132333435363738393031323334");
    QTest::newRow("digit 15 cut before check")
        << D << 13 << QByteArray("12345678901234X") << true << QByteArray("3132333435363738393031323334");
    QTest::newRow("digit letter") << D << 6 << QByteArray("12A") << false << QByteArray();
    QTest::newRow("digit sign") << D << 6 << QByteArray("-12") << false << QByteArray();
    QTest::newRow("digit inner blank") << D << 6 << QByteArray("12 3") << false << QByteArray();
    QTest::newRow("int zero") << I << 4 << QByteArray("0") << true << QByteArray("00000000");
    QTest::newRow("int negative") << I << 4 << QByteArray("-5") << true << QByteArray("fbffffff");
    QTest::newRow("int plus") << I << 4 << QByteArray("+7") << true << QByteArray("07000000");
    QTest::newRow("int max") << I << 4 << QByteArray("2147483647") << true << QByteArray("ffffff7f");
    QTest::newRow("int min") << I << 4 << QByteArray("-2147483648") << true << QByteArray("00000080");
    QTest::newRow("int overflow") << I << 4 << QByteArray("2147483648") << false << QByteArray();
    QTest::newRow("int empty") << I << 4 << QByteArray() << false << QByteArray();
    QTest::newRow("int sign only") << I << 4 << QByteArray("-") << false << QByteArray();
    QTest::newRow("int point") << I << 4 << QByteArray("1.0") << false << QByteArray();
    QTest::newRow("int trailing letter") << I << 4 << QByteArray("12a") << false << QByteArray();
    QTest::newRow("summa 2.56") << S << 10 << QByteArray("2.56") << true << QByteArray("00010000");
    QTest::newRow("summa 12.50") << S << 10 << QByteArray("12.50") << true << QByteArray("e2040000");
    QTest::newRow("summa trimmed") << S << 10 << QByteArray("  3.00 ") << true << QByteArray("2c010000");
    QTest::newRow("summa max") << S << 10 << QByteArray("21474836.47") << true << QByteArray("ffffff7f");
    QTest::newRow("summa overflow") << S << 10 << QByteArray("21474836.48") << false << QByteArray();
    QTest::newRow("summa one decimal") << S << 10 << QByteArray("12.5") << false << QByteArray();
    QTest::newRow("summa no point") << S << 10 << QByteArray("12") << false << QByteArray();
    QTest::newRow("summa comma") << S << 10 << QByteArray("12,50") << false << QByteArray();
    QTest::newRow("summa sign") << S << 10 << QByteArray("-1.00") << false << QByteArray();
    QTest::newRow("summa no integer part") << S << 10 << QByteArray(".50") << false << QByteArray();
    QTest::newRow("summa empty") << S << 10 << QByteArray() << false << QByteArray();
    QTest::newRow("quantity 1.024") << Q << 10 << QByteArray("1.024") << true << QByteArray("00040000");
    QTest::newRow("quantity integer") << Q << 10 << QByteArray("5") << true << QByteArray("88130000");
    QTest::newRow("quantity bare point") << Q << 10 << QByteArray("5.") << true << QByteArray("88130000");
    QTest::newRow("quantity 1.5") << Q << 10 << QByteArray("1.5") << true << QByteArray("dc050000");
    QTest::newRow("quantity 0.125") << Q << 10 << QByteArray("0.125") << true << QByteArray("7d000000");
    QTest::newRow("quantity four decimals") << Q << 10 << QByteArray("1.2345") << false << QByteArray();
    QTest::newRow("quantity sign") << Q << 10 << QByteArray("-1") << false << QByteArray();
    QTest::newRow("quantity comma") << Q << 10 << QByteArray("1,5") << false << QByteArray();
    QTest::newRow("quantity leading point") << Q << 10 << QByteArray(".5") << false << QByteArray();
    QTest::newRow("quantity overflow") << Q << 10 << QByteArray("2147484") << false << QByteArray();
    QTest::newRow("date") << FieldType::Date << 8 << QByteArray("07.12.26") << true << QByteArray("303731323236");
    QTest::newRow("date short filled with blanks")
        << FieldType::Date << 8 << QByteArray("07.12") << true << QByteArray("303731322020");
    QTest::newRow("time") << FieldType::Time << 5 << QByteArray("09:05") << true << QByteArray("30393035");
    QTest::newRow("time short") << FieldType::Time << 5 << QByteArray("9") << true << QByteArray("39202020");
}

void TestFieldCodec::convert()
{
    QFETCH(FieldType, type);
    QFETCH(int, length);
    QFETCH(QByteArray, value);
    QFETCH(bool, ok);
    QFETCH(QByteArray, bytes);

    // The field sits after a 2-byte TEXT field, so the offset matters.
    TableDescr t = Fixtures::table("TAB", "T", ';', { field("PRE", FieldType::Text, 2), field("F", type, length) });
    const FieldDescr& f = t.fields[1];
    QByteArray record(t.recordLength + 3, 'Z'); // longer than needed: bytes after the field stay
    const QByteArray before = record;

    QCOMPARE(textToField(f, value, record), ok);
    if (ok) {
        QCOMPARE(record.mid(f.offset, f.width).toHex(), bytes);
        QCOMPARE(record.left(f.offset), before.left(f.offset));
        QCOMPARE(record.mid(f.offset + f.width), before.mid(f.offset + f.width));
    } else {
        QCOMPARE(record, before); // a failure leaves the record as it was
    }

    QByteArray key("unchanged");
    QCOMPARE(textToFieldBytes(f, value, key), ok);
    QCOMPARE(key.toHex(), ok ? bytes : QByteArray("unchanged").toHex());
}

void TestFieldCodec::format_data()
{
    QTest::addColumn<FieldType>("type");
    QTest::addColumn<int>("length");
    QTest::addColumn<LenRule>("rule");
    QTest::addColumn<QByteArray>("bytes"); // hex of the stored field
    QTest::addColumn<QByteArray>("text");

    const auto st = LenRule::Standart;
    const auto mn = LenRule::Minimal;
    const auto mx = LenRule::Maxlen;
    const auto S = FieldType::Summa;
    const auto Q = FieldType::Quantity;
    const auto I = FieldType::Integer;
    const auto D = FieldType::Digit;
    const auto T = FieldType::Text;

    QTest::newRow("summa zero std") << S << 10 << st << QByteArray("00000000") << QByteArray("0.00");
    QTest::newRow("summa zero min") << S << 10 << mn << QByteArray("00000000") << QByteArray("0");
    QTest::newRow("summa 5") << S << 10 << st << QByteArray("05000000") << QByteArray("0.05");
    QTest::newRow("summa 50") << S << 10 << st << QByteArray("32000000") << QByteArray("0.50");
    QTest::newRow("summa 12.50") << S << 10 << st << QByteArray("e2040000") << QByteArray("12.50");
    QTest::newRow("summa 12.50 min") << S << 10 << mn << QByteArray("e2040000") << QByteArray("12.5");
    QTest::newRow("summa 12.00 min") << S << 10 << mn << QByteArray("b0040000") << QByteArray("12");
    QTest::newRow("summa 10.00 min") << S << 10 << mn << QByteArray("e8030000") << QByteArray("10");
    QTest::newRow("summa max") << S << 8 << mx << QByteArray("e2040000") << QByteArray("00012.50");
    QTest::newRow("summa negative") << S << 10 << st << QByteArray("fbffffff") << QByteArray("-0.05");
    QTest::newRow("summa negative max") << S << 8 << mx << QByteArray("1efbffff") << QByteArray("-0012.50");
    QTest::newRow("summa int min") << S << 10 << st << QByteArray("00000080") << QByteArray("-21474836.48");
    QTest::newRow("quantity 1.500") << Q << 10 << st << QByteArray("dc050000") << QByteArray("1.500");
    QTest::newRow("quantity 0.125") << Q << 10 << st << QByteArray("7d000000") << QByteArray("0.125");
    QTest::newRow("quantity 1.5 min") << Q << 10 << mn << QByteArray("dc050000") << QByteArray("1.5");
    QTest::newRow("quantity zero min") << Q << 10 << mn << QByteArray("00000000") << QByteArray("0");
    QTest::newRow("quantity 1.024 min") << Q << 10 << mn << QByteArray("00040000") << QByteArray("1.024");
    QTest::newRow("int negative") << I << 4 << st << QByteArray("fbffffff") << QByteArray("-5");
    QTest::newRow("int max pads") << I << 5 << mx << QByteArray("2a000000") << QByteArray("00042");
    QTest::newRow("int negative max") << I << 4 << mx << QByteArray("fbffffff") << QByteArray("-005");
    QTest::newRow("padding never shortens") << I << 3 << mx << QByteArray("40e20100") << QByteArray("123456");
    QTest::newRow("digit std") << D << 13 << st << QByteArray("3132333435ffffffffffffffffff") << QByteArray("12345");
    QTest::newRow("digit max") << D << 13 << mx << QByteArray("3132333435ffffffffffffffffff")
                               << QByteArray("0000000012345");
    QTest::newRow("digit empty") << D << 6 << st << QByteArray("ffffffffffff") << QByteArray();
    QTest::newRow("digit empty max") << D << 6 << mx << QByteArray("ffffffffffff") << QByteArray("000000");
    QTest::newRow("text std keeps width") << T << 5 << st << QByteArray("414243202020") << QByteArray("ABC   ");
    QTest::newRow("text min") << T << 5 << mn << QByteArray("204142432020") << QByteArray("ABC");
    QTest::newRow("text max") << T << 7 << mx << QByteArray("4142432020202020") << QByteArray("ABC     ");
    QTest::newRow("date") << FieldType::Date << 8 << st << QByteArray("303731323236") << QByteArray("07.12.26");
    QTest::newRow("time") << FieldType::Time << 5 << mn << QByteArray("30393035") << QByteArray("09:05");
}

void TestFieldCodec::format()
{
    QFETCH(FieldType, type);
    QFETCH(int, length);
    QFETCH(LenRule, rule);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, text);

    TableDescr t
        = Fixtures::table("TAB", "T", ';', { field("PRE", FieldType::Digit, 3), field("F", type, length, rule) });
    QByteArray record(t.recordLength, '\xFF');
    record.replace(t.fields[1].offset, t.fields[1].width, QByteArray::fromHex(bytes));
    QCOMPARE(fieldToText(t.fields[1], record), text);
}

void TestFieldCodec::roundTrip_data()
{
    QTest::addColumn<FieldType>("type");
    QTest::addColumn<int>("length");
    QTest::addColumn<LenRule>("rule");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("back"); // the text again after formatting
    QTest::addColumn<bool>("reads"); // the formatted text converts back to the same bytes

    const auto st = LenRule::Standart;
    const auto mn = LenRule::Minimal;
    const auto mx = LenRule::Maxlen;
    QTest::newRow("summa std") << FieldType::Summa << 10 << st << QByteArray("1234.05") << QByteArray("1234.05")
                               << true;
    QTest::newRow("summa min") << FieldType::Summa << 10 << mn << QByteArray("1234.50") << QByteArray("1234.5")
                               << false;
    QTest::newRow("summa max") << FieldType::Summa << 10 << mx << QByteArray("1234.50") << QByteArray("0001234.50")
                               << true;
    QTest::newRow("quantity std") << FieldType::Quantity << 10 << st << QByteArray("7.5") << QByteArray("7.500")
                                  << true;
    QTest::newRow("quantity min") << FieldType::Quantity << 10 << mn << QByteArray("7.250") << QByteArray("7.25")
                                  << true;
    QTest::newRow("quantity max") << FieldType::Quantity << 9 << mx << QByteArray("7.25") << QByteArray("00007.250")
                                  << true;
    QTest::newRow("text min") << FieldType::Text << 9 << mn << QByteArray("a b") << QByteArray("a b") << true;
    QTest::newRow("int std") << FieldType::Integer << 6 << st << QByteArray("-17") << QByteArray("-17") << true;
}

void TestFieldCodec::roundTrip()
{
    QFETCH(FieldType, type);
    QFETCH(int, length);
    QFETCH(LenRule, rule);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, back);
    QFETCH(bool, reads);

    TableDescr t = Fixtures::table("TAB", "T", ';', { field("F", type, length, rule) });
    QByteArray record(t.recordLength, '\0');
    QVERIFY(textToField(t.fields[0], text, record));
    const QByteArray formatted = fieldToText(t.fields[0], record);
    QCOMPARE(formatted, back);
    // What the formatter writes converts back to the same bytes, except where the rule drops
    // digits the converter insists on (an amount needs its two decimals).
    QByteArray again(t.recordLength, '\0');
    QCOMPARE(textToField(t.fields[0], formatted, again), reads);
    if (reads)
        QCOMPARE(again.toHex(), record.toHex());
}

void TestFieldCodec::exampleRecord()
{
    const TableDescr t = Fixtures::small(';');
    QCOMPARE(t.recordLength, 16);
    QByteArray record;
    QCOMPARE(lineToRecord(t, QByteArray("ABC;12.50;07.12.26"), record), -1);
    QCOMPARE(record,
        QByteArray::fromHex("414243202020"
                            "e2040000")
            + QByteArray("071226"));
    QCOMPARE(recordToLine(t, record), QByteArray("ABC   ;12.50;07.12.26\r\n"));
}

void TestFieldCodec::splitLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("numeric"); // the table has a SUMMA field
    QTest::addColumn<int>("badField");
    QTest::addColumn<QByteArray>("badText");
    QTest::addColumn<QByteArray>("record"); // hex, when converted

    // numeric: TEXT 3, DIGIT 4, SUMMA; plain: TEXT 3, DIGIT 4
    QTest::newRow("all items") << QByteArray("ab;12;1.00") << true << -1 << QByteArray()
                               << QByteArray("61622020"
                                             "3132ffff"
                                             "64000000");
    QTest::newRow("extra items ignored") << QByteArray("ab;12;1.00;zz;;") << true << -1 << QByteArray()
                                         << QByteArray("61622020"
                                                       "3132ffff"
                                                       "64000000");
    QTest::newRow("missing text items") << QByteArray("ab") << false << -1 << QByteArray()
                                        << QByteArray("61622020"
                                                      "ffffffff");
    QTest::newRow("blank line plain") << QByteArray() << false << -1 << QByteArray()
                                      << QByteArray("20202020"
                                                    "ffffffff");
    QTest::newRow("blank line numeric") << QByteArray() << true << 2 << QByteArray() << QByteArray();
    QTest::newRow("missing summa") << QByteArray("ab;12") << true << 2 << QByteArray() << QByteArray();
    QTest::newRow("bad summa text kept") << QByteArray("ab;12; 12.5 ") << true << 2 << QByteArray(" 12.5 ")
                                         << QByteArray();
    QTest::newRow("first bad field wins") << QByteArray("ab;1x;bad") << true << 1 << QByteArray("1x") << QByteArray();
    QTest::newRow("trailing tab gives empty item") << QByteArray("ab;") << false << -1 << QByteArray()
                                                   << QByteArray("61622020"
                                                                 "ffffffff");
}

void TestFieldCodec::splitLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, numeric);
    QFETCH(int, badField);
    QFETCH(QByteArray, badText);
    QFETCH(QByteArray, record);

    QList<FieldDescr> fields { field("T", FieldType::Text, 3), field("D", FieldType::Digit, 4) };
    if (numeric)
        fields << field("S", FieldType::Summa, 10);
    const TableDescr t = Fixtures::table("TAB", "T", ';', fields);
    // A reused buffer: whatever the previous line left must not show through.
    QByteArray buffer(t.recordLength, 'Q');
    QByteArray bad("none");
    QCOMPARE(lineToRecord(t, line, buffer, &bad), badField);
    if (badField < 0)
        QCOMPARE(buffer.toHex(), record);
    else
        QCOMPARE(bad, badText);
}

void TestFieldCodec::recordToLineJoinsWithTabChar()
{
    const TableDescr t = Fixtures::table("TAB", "T", '\t',
        { field("T", FieldType::Text, 2, LenRule::Minimal), field("D", FieldType::Digit, 2),
            field("Q", FieldType::Quantity, 5) });
    QByteArray record;
    QCOMPARE(lineToRecord(t, QByteArray("x\t7\t2"), record), -1);
    QCOMPARE(recordToLine(t, record), QByteArray("x\t7\t2.000\r\n"));
}

void TestFieldCodec::defaults()
{
    const TableDescr t = Fixtures::table("RES", "R", ';',
        { field("T", FieldType::Text, 3), field("D", FieldType::Digit, 2), field("I", FieldType::Integer, 4),
            field("S", FieldType::Summa, 9), field("Q", FieldType::Quantity, 9), field("DT", FieldType::Date, 8),
            field("TM", FieldType::Time, 5) });
    const QDate before = QDate::currentDate();
    const QByteArray record = defaultRecord(t);
    const QDate after = QDate::currentDate();
    QCOMPARE(record.size(), t.recordLength);
    QCOMPARE(record.left(6).toHex(), QByteArray("20202020ffff"));
    QCOMPARE(record.mid(6, 12), QByteArray(12, '\0'));
    const QByteArray date = fieldToText(t.fields[5], record);
    QVERIFY2(date == before.toString(QStringLiteral("dd.MM.yy")).toLatin1()
            || date == after.toString(QStringLiteral("dd.MM.yy")).toLatin1(),
        date.constData());
    const QByteArray time = fieldToText(t.fields[6], record);
    QVERIFY(QTime::fromString(QString::fromLatin1(time), QStringLiteral("hh:mm")).isValid());
}

void TestFieldCodec::badLayoutIsRefused()
{
    // A fixed-size field whose width disagrees with its type would write past its slot.
    FieldDescr f = field("S", FieldType::Summa, 10);
    f.width = 2;
    QByteArray record(2, 'Z');
    QVERIFY(!textToField(f, QByteArray("1.00"), record));
    QCOMPARE(record, QByteArray(2, 'Z'));
    QVERIFY(fieldToText(f, record).isEmpty());

    // A record buffer shorter than the field's end.
    const TableDescr t = Fixtures::small();
    QByteArray shortRecord(10, 'Z');
    QVERIFY(!textToField(t.fields[2], QByteArray("01.01.01"), shortRecord));
    QVERIFY(fieldToText(t.fields[2], shortRecord).isEmpty());
    QVERIFY(recordToLine(t, shortRecord).isEmpty());
}

void TestFieldCodec::badItemLineText()
{
    QCOMPARE(badItemLine(3, 2, QByteArray("12.5")), TestUtil::cp("строка 3 поле 2 \"12.5\""));
}

void TestFieldCodec::ruleReadsBack_data()
{
    QTest::addColumn<FieldType>("type");
    QTest::addColumn<LenRule>("rule");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("readsBack");

    const auto st = LenRule::Standart;
    const auto mi = LenRule::Minimal;
    const auto ma = LenRule::Maxlen;
    QTest::newRow("amount, standart") << FieldType::Summa << st << 10 << true;
    QTest::newRow("amount, minimal: 5.50 is written 5.5") << FieldType::Summa << mi << 10 << false;
    QTest::newRow("amount, maxlen") << FieldType::Summa << ma << 10 << true;
    QTest::newRow("quantity, minimal: 1.5 and 1 read") << FieldType::Quantity << mi << 10 << true;
    QTest::newRow("quantity, maxlen") << FieldType::Quantity << ma << 10 << true;
    QTest::newRow("text, minimal") << FieldType::Text << mi << 30 << true;
    QTest::newRow("text, maxlen") << FieldType::Text << ma << 30 << true;
    QTest::newRow("digits, standart") << FieldType::Digit << st << 13 << true;
    QTest::newRow("digits, maxlen: leading zeros make another code") << FieldType::Digit << ma << 13 << false;
    QTest::newRow("integer, maxlen") << FieldType::Integer << ma << 10 << true;
    QTest::newRow("date, minimal") << FieldType::Date << mi << 8 << true;
    QTest::newRow("time, maxlen") << FieldType::Time << ma << 5 << true;
}

void TestFieldCodec::ruleReadsBack()
{
    QFETCH(FieldType, type);
    QFETCH(LenRule, rule);
    QFETCH(int, length);
    QFETCH(bool, readsBack);
    const TableDescr t = Fixtures::table("TAB", "T", ';', { field("F", type, length, rule) });
    QCOMPARE(::ruleReadsBack(t.fields[0]), readsBack);
}

QTEST_GUILESS_MAIN(TestFieldCodec)
#include "tst_fieldcodec.moc"
