#include "FieldCodec.h"
#include "Search.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using Fixtures::field;

Q_DECLARE_METATYPE(FieldType)

namespace {
// Goods records: code = 100000 + i, barcode from the list (or 4600000000000 + i), name "N<i>".
QByteArray goodsFile(const TableDescr& t, int n, const QHash<int, QByteArray>& bars = {})
{
    QByteArray out;
    QByteArray rec;
    for (int i = 0; i < n; ++i) {
        const QByteArray bar = bars.value(i, QByteArray::number(4600000000000LL + i));
        const QByteArray line = QByteArray::number(100000 + i) + ';' + bar + ";N" + QByteArray::number(i) + ";1.00;1";
        if (lineToRecord(t, line, rec) != -1)
            return {};
        out += rec;
    }
    return out;
}
} // namespace

class TestSearch : public QObject {
    Q_OBJECT

private slots:
    void init();
    void blockSearch_data();
    void blockSearch();
    void fromRecordFindsNext();
    void prefixCompare();
    void recordLongerThanBlock();
    void partialTailNeverMatches();
    void badArguments();
    void unreadableFile_data();
    void unreadableFile();
    void searchKey_data();
    void searchKey();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }
};

void TestSearch::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestSearch::blockSearch_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("expected");

    // 64-byte records: 128 in a block, so record 300 sits in the third block.
    QTest::newRow("first record") << QByteArray("CODE") << QByteArray("100000") << 0;
    QTest::newRow("block boundary") << QByteArray("CODE") << QByteArray("100128") << 128;
    QTest::newRow("third block") << QByteArray("BAR") << QByteArray("4600000000300") << 300;
    QTest::newRow("last record") << QByteArray("CODE") << QByteArray("100999") << 999;
    QTest::newRow("duplicate lowest wins") << QByteArray("BAR") << QByteArray("2000000000017") << 140;
    QTest::newRow("key trimmed") << QByteArray("CODE") << QByteArray(" 100005 ") << 5;
    QTest::newRow("miss") << QByteArray("CODE") << QByteArray("999999") << -1;
    QTest::newRow("letter in digit key") << QByteArray("BAR") << QByteArray("46000X") << -1;
    QTest::newRow("name text") << QByteArray("NAME") << QByteArray("N77") << 77;
    QTest::newRow("key longer than field is cut") << QByteArray("CODE") << QByteArray("1000071") << 7;
}

void TestSearch::blockSearch()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, key);
    QFETCH(int, expected);
    const TableDescr t = Fixtures::goods();
    const QByteArray data = goodsFile(t, 1000, { { 140, "2000000000017" }, { 700, "2000000000017" } });
    QVERIFY(TestUtil::writeFile(path("g_tvr.bin"), data));
    QByteArray record("untouched");
    QCOMPARE(::blockSearch(path("g_tvr.bin"), t, t.fieldIndex(field), key, record), expected);
    QCOMPARE(record, expected < 0 ? QByteArray("untouched") : data.mid(expected * 64, 64));
}

void TestSearch::fromRecordFindsNext()
{
    const TableDescr t = Fixtures::goods();
    const QByteArray dup("2000000000017");
    const QByteArray data = goodsFile(t, 1000, { { 3, dup }, { 129, dup }, { 999, dup } });
    QVERIFY(TestUtil::writeFile(path("g_tvr.bin"), data));
    const FieldDescr& bar = t.fields[t.fieldIndex("BAR")];
    QByteArray key;
    QVERIFY(textToFieldBytes(bar, dup, key));
    QByteArray rec;
    QList<int> hits;
    for (qint32 at = blockSearchFrom(path("g_tvr.bin"), 64, 0, bar.offset, bar.width, key, rec); at >= 0;
         at = blockSearchFrom(path("g_tvr.bin"), 64, at + 1, bar.offset, bar.width, key, rec))
        hits << at;
    QCOMPARE(hits, (QList<int> { 3, 129, 999 }));
    QCOMPARE(blockSearchFrom(path("g_tvr.bin"), 64, 5000, bar.offset, bar.width, key, rec), -1);
}

void TestSearch::prefixCompare()
{
    const TableDescr t = Fixtures::goods();
    QVERIFY(TestUtil::writeFile(path("g_tvr.bin"), goodsFile(t, 300)));
    const FieldDescr& name = t.fields[t.fieldIndex("NAME")];
    QByteArray rec;
    // The browser compares only the typed part: "N2" finds N2, then N20, N21, ...
    QCOMPARE(blockSearchFrom(path("g_tvr.bin"), 64, 0, name.offset, 2, QByteArray("N2"), rec), 2);
    QCOMPARE(blockSearchFrom(path("g_tvr.bin"), 64, 3, name.offset, 2, QByteArray("N2"), rec), 20);
    QCOMPARE(blockSearchFrom(path("g_tvr.bin"), 64, 0, name.offset, 3, QByteArray("N29"), rec), 29);
}

void TestSearch::recordLongerThanBlock()
{
    // Records of 10000 bytes exceed the 8192-byte block; they must still be found.
    const TableDescr t = Fixtures::table(
        "TAB", "BIG", ';', { field("KEY", FieldType::Digit, 6), field("PAD", FieldType::Text, 9994) });
    QCOMPARE(t.recordLength, 10000);
    QByteArray data;
    QByteArray rec;
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(lineToRecord(t, QByteArray::number(10 + i) + ";x", rec), -1);
        data += rec;
    }
    QVERIFY(TestUtil::writeFile(path("big_tab.bin"), data));
    QByteArray found;
    QCOMPARE(::blockSearch(path("big_tab.bin"), t, 0, QByteArray("10"), found), 0);
    QCOMPARE(::blockSearch(path("big_tab.bin"), t, 0, QByteArray("14"), found), 4);
    QCOMPARE(found, data.mid(40000));
    QCOMPARE(::blockSearch(path("big_tab.bin"), t, 0, QByteArray("15"), found), -1);
}

void TestSearch::partialTailNeverMatches()
{
    const TableDescr t = Fixtures::goods();
    QByteArray data = goodsFile(t, 3);
    // The tail holds the start of a record that would match on its key bytes.
    data += goodsFile(t, 10).mid(9 * 64, 30);
    QVERIFY(TestUtil::writeFile(path("g_tvr.bin"), data));
    QByteArray rec;
    QCOMPARE(::blockSearch(path("g_tvr.bin"), t, 0, QByteArray("100009"), rec), -1);
    QCOMPARE(::blockSearch(path("g_tvr.bin"), t, 0, QByteArray("100002"), rec), 2);
}

void TestSearch::badArguments()
{
    const TableDescr t = Fixtures::goods();
    QVERIFY(TestUtil::writeFile(path("g_tvr.bin"), goodsFile(t, 3)));
    QByteArray rec;
    QCOMPARE(::blockSearch(path("missing_tvr.bin"), t, 0, QByteArray("100000"), rec), -1);
    QCOMPARE(::blockSearch(path("g_tvr.bin"), t, 9, QByteArray("100000"), rec), -1);
    QCOMPARE(::blockSearch(path("g_tvr.bin"), t, -1, QByteArray("100000"), rec), -1);
    // Key bytes shorter than the compared width, or a field outside the record.
    QCOMPARE(blockSearchFrom(path("g_tvr.bin"), 64, 0, 0, 6, QByteArray("100"), rec), -1);
    QCOMPARE(blockSearchFrom(path("g_tvr.bin"), 64, 0, 60, 6, QByteArray("100000"), rec), -1);
    QCOMPARE(blockSearchFrom(path("g_tvr.bin"), 0, 0, 0, 0, QByteArray(), rec), -1);
    QCOMPARE(blockSearchFrom(path("g_tvr.bin"), 64, -1, 0, 6, QByteArray("100000"), rec), -1);
}

void TestSearch::unreadableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("expected");
    QTest::newRow("cannot be opened (a folder)") << QStringLiteral("folder") << int(SearchFileError);
    QTest::newRow("read error") << QStringLiteral("read error") << int(SearchFileError);
    // A table that is not there holds no records: nothing found, not an error.
    QTest::newRow("missing") << QStringLiteral("missing") << -1;
}

void TestSearch::unreadableFile()
{
    QFETCH(QString, kind);
    QFETCH(int, expected);
    const QString bin = path("g_tvr.bin");
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("g_tvr.bin")));
    } else if (kind == QLatin1String("read error")) {
        // Opens, but reading its first bytes fails.
        QFile probe(QStringLiteral("/proc/self/mem"));
        if (!probe.open(QIODevice::ReadOnly))
            QSKIP("no /proc/self/mem here");
        QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), bin));
    }
    const TableDescr t = Fixtures::goods();
    QByteArray rec("untouched");
    QCOMPARE(::blockSearch(bin, t, 0, QByteArray("100000"), rec), expected);
    QCOMPARE(blockSearchFrom(bin, 64, 3, 0, 6, QByteArray("100000"), rec), expected);
    QCOMPARE(rec, QByteArray("untouched"));
}

void TestSearch::searchKey_data()
{
    QTest::addColumn<FieldType>("type");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("key"); // empty: refused

    const QByteArray ff("\xFF");
    QTest::newRow("barcode") << FieldType::Digit << 13 << QByteArray("4600000000017")
                             << QByteArray("4600000000017") + ff;
    // Length 13 gives a field of 14 digits, and 14 digits are stored whole.
    QTest::newRow("fills the width") << FieldType::Digit << 13 << QByteArray("46000000000171")
                                     << QByteArray("46000000000171");
    QTest::newRow("one digit more") << FieldType::Digit << 13 << QByteArray("460000000001712") << QByteArray();
    QTest::newRow("blanks do not count") << FieldType::Digit << 6 << QByteArray("  100001 ") << QByteArray("100001");
    QTest::newRow("letter") << FieldType::Digit << 6 << QByteArray("1000A1") << QByteArray();
    QTest::newRow("text longer than the field") << FieldType::Text << 4 << QByteArray("Milk1") << QByteArray();
    QTest::newRow("text padded") << FieldType::Text << 4 << QByteArray("Mi") << QByteArray("Mi  ");
    // A number's text is longer than its four bytes.
    QTest::newRow("integer") << FieldType::Integer << 10 << QByteArray("123456") << QByteArray("\x40\xE2\x01\x00", 4);
}

void TestSearch::searchKey()
{
    QFETCH(FieldType, type);
    QFETCH(int, length);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, key);
    const TableDescr t = Fixtures::table("TVR", "G", ';', { field("K", type, length) });
    QByteArray bytes("untouched");
    QCOMPARE(searchKeyBytes(t.fields[0], text, bytes), !key.isEmpty());
    QCOMPARE(bytes, key.isEmpty() ? QByteArray("untouched") : key);
}

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
