#include "FieldCodec.h"
#include "RunLog.h"
#include "TableFixtures.h"
#include "TestUtil.h"
#include "WgtMemDescr.h"

#include <QTemporaryDir>
#include <QTest>

using Fixtures::field;
using TestUtil::cp;
using TestUtil::readFile;
using TestUtil::writeFile;

Q_DECLARE_METATYPE(TableDescr)

namespace {

// The WGT table as the settings describe it: 4 + 16 + 32 + 4 bytes.
TableDescr wgtTable(FieldType prefixType = FieldType::Text, qint32 prefixLength = 15, qint32 layoutLength = 31)
{
    TableDescr t = Fixtures::table("WGT", "Vescod", ';',
        { field("LEN", FieldType::Integer, 2), field("PREFIX", prefixType, prefixLength),
            field("LAYOUT", FieldType::Text, layoutLength), field("SCALE", FieldType::Integer, 1) });
    t.pname = cp("Весовые коды");
    return t;
}

// The binary records of text lines "length;prefix;layout;scale", as the office converts them.
QByteArray records(const QByteArrayList& lines)
{
    const TableDescr t = wgtTable();
    QByteArray bytes;
    for (const QByteArray& line : lines) {
        QByteArray record(t.recordLength, '\0');
        if (lineToRecord(t, line, record) != -1)
            qFatal("bad test line %s", line.constData());
        bytes += record;
    }
    return bytes;
}

} // namespace

class TestWgtMemDescr : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void match_data();
    void match();
    void logsEveryRecordTried();
    void loadFailures_data();
    void loadFailures();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_log;
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }
};

void TestWgtMemDescr::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_log = TestUtil::openRunLogIn(m_dir->path());
}

void TestWgtMemDescr::cleanup()
{
    RunLog::instance().close();
}

void TestWgtMemDescr::match_data()
{
    QTest::addColumn<QByteArrayList>("directory"); // text lines of the WGT table
    QTest::addColumn<QByteArray>("barcode");
    QTest::addColumn<qint32>("weight");
    QTest::addColumn<QByteArray>("key"); // the text afterwards

    // Without a key the text must come back unchanged.
    const auto row = [](const char* name, const QByteArrayList& directory, const char* barcode, qint32 weight,
                         const char* key = nullptr) {
        QTest::newRow(name) << directory << QByteArray(barcode) << weight << QByteArray(key ? key : barcode);
    };
    const QByteArrayList all { "13;23;2S6A4W1S;0", "13;22;7A5WZ1SZ;0", "13;21;2S6A1S3W1S;3" };
    const auto one = [](const char* line) { return QByteArrayList { line }; };

    row("goods code", all, "2302468013579", 1357, "024680");
    row("goods barcode, weight and check digit zeroed", all, "2204680135792", 13579, "2204680000000");
    row("scale 3", all, "2102468013579", 357000, "024680");
    row("12 characters", all, "230246801357", -1);
    row("no prefix fits", all, "2402468013579", -1);
    row("empty prefix fits any", one("13;;2S6A4W1S;0"), "9902468013579", 1357, "024680");
    row("earlier record wins", { "13;2;7A5W1S;0", "13;23;2S6A4W1S;0" }, "2302468013579", 1357, "2302468");
    row("earlier record wins, other order", { "13;23;2S6A4W1S;0", "13;2;7A5W1S;0" }, "2302468013579", 1357, "024680");
    row("a record that fails lets the next try", { "13;23;2S6A4;0", "13;23;2S6A4W1S;0" }, "2302468013579", 1357,
        "024680");
    row("Z after Z zeroes as much again", one("13;22;7A5WZZ1S;0"), "2204680135792", 13579, "22046800000000000");
    row("lower case", one("13;23;2s6a4w1s;0"), "2302468013579", 1357, "024680");
    row("no W weighs 0", one("13;23;2S6A5S;0"), "2302468013579", 0, "024680");
    row("layout ending in digits", one("13;23;2S6A4;0"), "2302468013579", -1);
    row("count over 31", one("13;23;99999A;0"), "2302468013579", -1);
    row("count wrapping 32 bits", one("13;23;4294967298S6A4W1S;0"), "2302468013579", -1);
    row("empty layout", one("13;23;;0"), "2302468013579", -1);
    row("unknown letter", one("13;23;2S6X4W1S;0"), "2302468013579", -1);
    row("weight beyond the text", one("13;23;2S6A6W;0"), "2302468013579", -1);
    row("skip beyond the text", one("13;23;2S6A4W2S;0"), "2302468013579", -1);
    row("letter in the weight", all, "23024680135X9", -1);
    row("key of 31", one("31;;31A;0"), "1234567890123456789012345678901", 0);
    row("key over 31", one("20;;16AZ;0"), "12345678901234567890", -1);
    row("text over 31", one("32;;2S6A;0"), "12345678901234567890123456789012", -1);
    row("weight at the 32-bit limit", one("13;;3A10W;0"), "0012147483647", 2147483647, "001");
    row("weight over the 32-bit limit", one("13;;3A10W;0"), "0012147483648", -1);
    row("scale 9", one("13;;3A10W;9"), "0010000000002", 2000000000, "001");
    row("scale over the 32-bit limit", one("13;;3A10W;9"), "0010000000003", -1);
    row("scale 10", one("13;23;2S6A4W1S;10"), "2302468000009", -1);
    row("negative scale", one("13;23;2S6A4W1S;-1"), "2302468013579", -1);
}

void TestWgtMemDescr::match()
{
    QFETCH(QByteArrayList, directory);
    QFETCH(QByteArray, barcode);
    QFETCH(qint32, weight);
    QFETCH(QByteArray, key);

    QVERIFY(writeFile(path("Vescod_wgt.bin"), records(directory)));
    WgtMemDescr wgt;
    QVERIFY(wgt.load(wgtTable(), path("Vescod_wgt.bin")));
    QCOMPARE(wgt.count(), directory.size());
    QCOMPARE(wgt.match(barcode), weight);
    QCOMPARE(barcode, key);
}

void TestWgtMemDescr::logsEveryRecordTried()
{
    QVERIFY(writeFile(path("Vescod_wgt.bin"), records({ "13;22;7A5WZ1SZ;0", "13;23;2S6A4W1S;0", "13;21;1A;0" })));
    WgtMemDescr wgt;
    QVERIFY(wgt.load(wgtTable(), path("Vescod_wgt.bin")));
    QByteArray text("2302468013579");
    QCOMPARE(wgt.match(text), 1357);
    QCOMPARE(readFile(m_log),
        cp("   Преобразование справочника Весовые коды\r\n")
            + "convWgtItem 13 22 7A5WZ1SZ\r\nconvWgtItem 13 23 2S6A4W1S\r\n");
}

void TestWgtMemDescr::loadFailures_data()
{
    QTest::addColumn<TableDescr>("table");
    QTest::addColumn<QByteArray>("file"); // "" for no file
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("log"); // after the first line

    const QByteArray record = records({ "13;23;2S6A4W1S;0" });
    const QByteArray mismatch = cp("   Несоответствие описателей весовых штрихкодов\r\n    Размер в памяти 56"
                                   "    Длина записи ");

    QTest::newRow("32 records") << wgtTable() << record.repeated(32) << true << 32 << QByteArray();
    QTest::newRow("33 records") << wgtTable() << record.repeated(33) << false << 0
                                << cp("    Слишком много весовых штрихкодов 33\r\n");
    QTest::newRow("partial record ignored") << wgtTable() << record + record.left(20) << true << 1 << QByteArray();
    QTest::newRow("no file") << wgtTable() << QByteArray() << true << 0 << QByteArray();
    QTest::newRow("record length 48") << wgtTable(FieldType::Text, 7) << record << false << 0 << mismatch + "48\r\n";
    QTest::newRow("prefix and layout swapped")
        << wgtTable(FieldType::Text, 31, 15) << record << false << 0 << mismatch + "56\r\n";
    QTest::newRow("DIGIT prefix") << wgtTable(FieldType::Digit) << record << false << 0 << mismatch + "56\r\n";
    TableDescr quantity = wgtTable();
    quantity.fields[3].type = FieldType::Quantity;
    QTest::newRow("QUANTITY scale") << quantity << record << false << 0 << mismatch + "56\r\n";
}

void TestWgtMemDescr::loadFailures()
{
    QFETCH(TableDescr, table);
    QFETCH(QByteArray, file);
    QFETCH(bool, loaded);
    QFETCH(int, count);
    QFETCH(QByteArray, log);

    WgtMemDescr wgt;
    QVERIFY(writeFile(path("old_wgt.bin"), records({ "13;22;7A5WZ1SZ;0" })));
    QVERIFY(wgt.load(wgtTable(), path("old_wgt.bin")));
    QCOMPARE(wgt.count(), 1);

    RunLog::instance().close();
    QVERIFY(QFile::remove(m_log));
    m_log = TestUtil::openRunLogIn(m_dir->path());
    if (!file.isEmpty())
        QVERIFY(writeFile(path("Vescod_wgt.bin"), file));
    QCOMPARE(wgt.load(table, path("Vescod_wgt.bin")), loaded);
    // A failed load leaves nothing of the previous directory.
    QCOMPARE(wgt.count(), count);
    const QByteArray expected = cp("   Преобразование справочника Весовые коды\r\n") + log;
    QCOMPARE(readFile(m_log), expected);
    QCOMPARE(wgt.loadReport().join("\r\n") + "\r\n", expected);
}

QTEST_GUILESS_MAIN(TestWgtMemDescr)
#include "tst_wgtmemdescr.moc"
