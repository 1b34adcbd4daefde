#include "ConvFile.h"
#include "FieldCodec.h"
#include "Index.h"
#include "IndexFreshness.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using Fixtures::field;
using TestUtil::readFile;
using TestUtil::writeFile;

Q_DECLARE_METATYPE(SearchOrder)
Q_DECLARE_METATYPE(KeyRole)

namespace {
// Goods records from (code, barcode) pairs; names "N<i>".
QByteArray goodsBytes(const TableDescr& t, const QList<QPair<QByteArray, QByteArray>>& keys)
{
    QByteArray out;
    QByteArray rec;
    for (int i = 0; i < keys.size(); ++i) {
        const QByteArray line = keys[i].first + ';' + keys[i].second + ";N" + QByteArray::number(i) + ";1.00;1";
        if (lineToRecord(t, line, rec) != -1)
            return {};
        out += rec;
    }
    return out;
}

// n goods: code 100000 + i, barcode 4600000000000 + i.
QList<QPair<QByteArray, QByteArray>> numbered(int n)
{
    QList<QPair<QByteArray, QByteArray>> keys;
    for (int i = 0; i < n; ++i)
        keys.append(qMakePair(QByteArray::number(100000 + i), QByteArray::number(4600000000000LL + i)));
    return keys;
}

// The key column of a goods file, as a fresh index holds it.
QByteArray column(const QByteArray& goods, const FieldDescr& f, int recordLength)
{
    QByteArray out;
    for (qsizetype at = 0; at + recordLength <= goods.size(); at += recordLength)
        out += goods.mid(at + f.offset, f.width);
    return out;
}
} // namespace

class TestIndex : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void keyFields_data();
    void keyFields();
    void buildsIndexOnFirstUse();
    void staleIndexAfterNewGoods();
    void staleMissLeavesIndex();
    void indexSizeMismatch_data();
    void indexSizeMismatch();
    void duplicateBarcodes();
    void badKeyFailsAtOnce();
    void writersForgetFreshness_data();
    void writersForgetFreshness();
    void firstMissOfRunChecksOldIndex_data();
    void firstMissOfRunChecksOldIndex();
    void orders_data();
    void orders();
    void receiptModeScansDocument();
    void prepareBuildsOnlyMissing();
    void unreadableFiles_data();
    void unreadableFiles();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }
    QString m_log;
    TableDescr m_goods = Fixtures::goods();
    const FieldDescr& bar() const { return m_goods.fields[m_goods.fieldIndex("BAR")]; }
    const FieldDescr& code() const { return m_goods.fields[m_goods.fieldIndex("CODE")]; }
};

void TestIndex::init()
{
    forgetIndexFreshness();
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_log = TestUtil::openRunLogIn(m_dir->path());
}

void TestIndex::cleanup()
{
    RunLog::instance().close();
}

void TestIndex::keyFields_data()
{
    QTest::addColumn<QByteArrayList>("names");
    QTest::addColumn<int>("barField");
    QTest::addColumn<int>("codeField");
    QTest::newRow("both") << QByteArrayList { "NAME", "BAR", "CODE" } << 1 << 2;
    QTest::newRow("no BAR: CODE serves both") << QByteArrayList { "CODE", "NAME" } << 0 << 0;
    QTest::newRow("no CODE: BAR serves both") << QByteArrayList { "NAME", "BAR" } << 1 << 1;
    QTest::newRow("neither") << QByteArrayList { "NAME", "bar" } << -1 << -1;
}

void TestIndex::keyFields()
{
    QFETCH(QByteArrayList, names);
    QFETCH(int, barField);
    QFETCH(int, codeField);
    QList<FieldDescr> fields;
    for (const QByteArray& n : names)
        fields << field(n.constData(), FieldType::Digit, 6);
    const TableDescr t = Fixtures::table("TVR", "G", ';', fields);
    QCOMPARE(keyFieldIndex(t, KeyRole::Bar), barField);
    QCOMPARE(keyFieldIndex(t, KeyRole::Code), codeField);
    QCOMPARE(indexFileName(path("g_tvr.bin"), KeyRole::Bar), path("Bar.ndx"));
    QCOMPARE(indexFileName(path("g_tvr.bin"), KeyRole::Code), path("Code.ndx"));
}

void TestIndex::buildsIndexOnFirstUse()
{
    const QByteArray goods = goodsBytes(m_goods, numbered(2000));
    QVERIFY(writeFile(path("g_tvr.bin"), goods));
    QByteArray rec;
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "4600000001500", rec), 1500);
    QCOMPARE(rec, goods.mid(1500 * 64, 64));
    QCOMPARE(readFile(path("Bar.ndx")), column(goods, bar(), 64));
    QVERIFY(!QFile::exists(path("Code.ndx")));
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Code, "101999", rec), 1999);
    QCOMPARE(readFile(path("Code.ndx")), column(goods, code(), 64));
    QVERIFY(readFile(m_log).contains("searchNdxFile:tvr 1999\r\n"));
    QVERIFY(!readFile(m_log).contains("searchTvrFile:tvr"));
}

void TestIndex::staleIndexAfterNewGoods()
{
    const QByteArray oldGoods = goodsBytes(m_goods, numbered(1000));
    QVERIFY(writeFile(path("g_tvr.bin"), oldGoods));
    QByteArray rec;
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "4600000000010", rec), 10);

    // A new goods file: the same goods in reverse order, plus new ones at the end.
    auto keys = numbered(1000);
    std::reverse(keys.begin(), keys.end());
    keys.append(qMakePair(QByteArray("999999"), QByteArray("2000000000019")));
    const QByteArray newGoods = goodsBytes(m_goods, keys);
    QVERIFY(writeFile(path("g_tvr.bin"), newGoods));

    // A stale hit (entry 10 no longer holds that barcode) and a stale miss (beyond the old index)
    // both find the right record and leave a fresh index behind.
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "4600000000010", rec), 989);
    QCOMPARE(rec, newGoods.mid(989 * 64, 64));
    QCOMPARE(readFile(path("Bar.ndx")), column(newGoods, bar(), 64));
    QVERIFY(readFile(m_log).contains("searchTvrFile:tvr 989\r\n"));

    QVERIFY(writeFile(path("Bar.ndx"), column(oldGoods, bar(), 64)));
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "2000000000019", rec), 1000);
    QCOMPARE(readFile(path("Bar.ndx")), column(newGoods, bar(), 64));
}

void TestIndex::staleMissLeavesIndex()
{
    QVERIFY(writeFile(path("g_tvr.bin"), goodsBytes(m_goods, numbered(50))));
    const QByteArray oldIndex = column(goodsBytes(m_goods, numbered(80)), bar(), 64).right(50 * 14);
    QVERIFY(writeFile(path("Bar.ndx"), oldIndex));
    QByteArray rec("untouched");
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "4600000000777", rec), -1);
    QCOMPARE(rec, QByteArray("untouched"));
    QCOMPARE(readFile(path("Bar.ndx")), oldIndex);
    // A key the stale index still holds at an entry whose goods record differs: not a hit either.
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "4600000000079", rec), -1);
    QCOMPARE(rec, QByteArray("untouched"));
}

void TestIndex::indexSizeMismatch_data()
{
    QTest::addColumn<int>("indexRecords"); // goods records the old index was built from
    QTest::addColumn<int>("tail"); // extra bytes at the index's end (a torn entry)
    QTest::newRow("shorter") << 100 << 0;
    QTest::newRow("longer") << 400 << 0;
    QTest::newRow("torn last entry") << 150 << 5;
    QTest::newRow("empty") << 0 << 0;
}

void TestIndex::indexSizeMismatch()
{
    QFETCH(int, indexRecords);
    QFETCH(int, tail);
    const QByteArray goods = goodsBytes(m_goods, numbered(300));
    QVERIFY(writeFile(path("g_tvr.bin"), goods));
    // An index from another goods file whose barcodes are shifted by 150.
    auto keys = numbered(indexRecords + 150).mid(150);
    const QByteArray other = column(goodsBytes(m_goods, keys), bar(), 64);
    QVERIFY(writeFile(path("Bar.ndx"), other + QByteArray(tail, '4')));
    QByteArray rec;
    for (int want : { 0, 200, 299 }) {
        QCOMPARE(
            searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, QByteArray::number(4600000000000LL + want), rec), want);
        QCOMPARE(rec, goods.mid(want * 64, 64));
    }
    QCOMPARE(readFile(path("Bar.ndx")), column(goods, bar(), 64));
}

void TestIndex::duplicateBarcodes()
{
    auto keys = numbered(700);
    keys[650].second = keys[30].second = keys[400].second = "2000000000057";
    const QByteArray goods = goodsBytes(m_goods, keys);
    QVERIFY(writeFile(path("g_tvr.bin"), goods));
    QByteArray rec;
    // Through the index built on first use ...
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "2000000000057", rec), 30);
    // ... and through the goods scan of a stale index.
    QVERIFY(writeFile(path("Bar.ndx"), QByteArray(14, '0')));
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "2000000000057", rec), 30);
    QCOMPARE(rec, goods.mid(30 * 64, 64));
}

void TestIndex::badKeyFailsAtOnce()
{
    QVERIFY(writeFile(path("g_tvr.bin"), goodsBytes(m_goods, numbered(10))));
    QByteArray rec;
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "46000000A0001", rec), -1);
    QVERIFY(!QFile::exists(path("Bar.ndx")));
    QVERIFY(!readFile(m_log).contains("searchTvrFile"));
}

void TestIndex::writersForgetFreshness_data()
{
    QTest::addColumn<QString>("writer");
    QTest::newRow("putRec") << QStringLiteral("putRec");
    QTest::newRow("appendRec") << QStringLiteral("appendRec");
    QTest::newRow("ConvertToBin") << QStringLiteral("ConvertToBin");
}

void TestIndex::writersForgetFreshness()
{
    // A miss in a fresh index skips the goods scan; once the table is written, the same key must
    // be found again, even when size, inode and time stamps could all look unchanged.
    QFETCH(QString, writer);
    const QString bin = path("g_tvr.bin");
    QVERIFY(writeFile(bin, goodsBytes(m_goods, numbered(300))));
    QByteArray rec;
    const QByteArray key("2000000000057");
    QCOMPARE(searchNdx(bin, m_goods, KeyRole::Bar, key, rec), -1);
    QCOMPARE(searchNdx(bin, m_goods, KeyRole::Bar, key, rec), -1);
    QVERIFY(!readFile(m_log).contains("searchTvrFile"));

    auto keys = numbered(300);
    qint32 expected = 120;
    if (writer == QLatin1String("putRec")) {
        keys[120].second = key;
        QVERIFY(putRec(bin, m_goods, 120, goodsBytes(m_goods, keys).mid(120 * 64, 64)));
    } else if (writer == QLatin1String("appendRec")) {
        keys.append(qMakePair(QByteArray("999999"), key));
        QVERIFY(appendRec(bin, m_goods, goodsBytes(m_goods, keys).right(64)));
        expected = 300;
    } else {
        keys[120].second = key;
        QByteArray text;
        for (const auto& k : keys)
            text += k.first + ';' + k.second + ";N;1.00;1\r\n";
        QVERIFY(writeFile(path("g.tvr"), text));
        ConvFile conv;
        QVERIFY(conv.ConvertToBin(path("g.tvr"), bin, m_goods));
    }
    QCOMPARE(searchNdx(bin, m_goods, KeyRole::Bar, key, rec), expected);
    QCOMPARE(searchNdx(bin, m_goods, KeyRole::Bar, QByteArray::number(4600000000000LL + 299), rec), 299);
}

void TestIndex::firstMissOfRunChecksOldIndex_data()
{
    QTest::addColumn<bool>("matching"); // the index left by an earlier run matches the table
    QTest::newRow("matching") << true;
    QTest::newRow("from other goods") << false;
}

void TestIndex::firstMissOfRunChecksOldIndex()
{
    QFETCH(bool, matching);
    const QByteArray goods = goodsBytes(m_goods, numbered(500));
    QVERIFY(writeFile(path("g_tvr.bin"), goods));
    auto other = numbered(500);
    other[499].second = "2999999999999";
    QVERIFY(writeFile(path("Bar.ndx"), column(matching ? goods : goodsBytes(m_goods, other), bar(), 64)));
    QByteArray rec;
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "2000000000057", rec), -1);
    QCOMPARE(readFile(m_log).count("searchTvrFile:tvr -1"), 1);
    // The first miss compared the index with the table: a matching one spares the next scan.
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "2000000000064", rec), -1);
    QCOMPARE(readFile(m_log).count("searchTvrFile:tvr -1"), matching ? 1 : 2);
    // Either way the index is left as it was (a miss never rewrites it) and hits still verify.
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "4600000000499", rec), 499);
    QCOMPARE(rec, goods.right(64));
}

void TestIndex::orders_data()
{
    QTest::addColumn<SearchOrder>("order");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("record");
    QTest::addColumn<KeyRole>("role");

    const auto codeOnly = SearchOrder::CodeOnly;
    const auto codeBar = SearchOrder::CodeThenBar;
    const auto barCode = SearchOrder::BarThenCode;
    // Record 5 has code 555555; record 9 has the short barcode 555555; record 7 the barcode 777;
    // record 10 a barcode of 14 digits, as many as its field holds.
    QTest::newRow("code only: code") << codeOnly << QByteArray("100002") << 2 << KeyRole::Code;
    QTest::newRow("code only: barcode-only value") << codeOnly << QByteArray("777") << -1 << KeyRole::Code;
    QTest::newRow("code then bar: found by barcode") << codeBar << QByteArray("777") << 7 << KeyRole::Bar;
    QTest::newRow("bar then code: found by barcode") << barCode << QByteArray("777") << 7 << KeyRole::Bar;
    QTest::newRow("bar then code: found by code") << barCode << QByteArray("100002") << 2 << KeyRole::Code;
    QTest::newRow("code then bar: code wins") << codeBar << QByteArray("555555") << 5 << KeyRole::Code;
    QTest::newRow("bar then code: barcode wins") << barCode << QByteArray("555555") << 9 << KeyRole::Bar;
    QTest::newRow("long text is a barcode") << codeOnly << QByteArray("4600000000003") << 3 << KeyRole::Bar;
    QTest::newRow("long text never by code") << barCode << QByteArray("1000041") << -1 << KeyRole::Bar;
    QTest::newRow("miss both") << codeBar << QByteArray("123") << -1 << KeyRole::Bar;
    QTest::newRow("letter in code") << codeOnly << QByteArray("10A") << -1 << KeyRole::Code;
    QTest::newRow("barcode filling its field") << codeOnly << QByteArray("46000000000104") << 10 << KeyRole::Bar;
    QTest::newRow("one digit more is not cut to the barcode")
        << codeOnly << QByteArray("460000000001045") << -1 << KeyRole::Bar;
    QTest::newRow("many digits more, either order")
        << barCode << QByteArray("46000000000104") + QByteArray(40, '7') << -1 << KeyRole::Bar;
    QTest::newRow("empty") << codeBar << QByteArray("  ") << -1 << KeyRole::Code;
}

void TestIndex::orders()
{
    QFETCH(SearchOrder, order);
    QFETCH(QByteArray, text);
    QFETCH(int, record);
    QFETCH(KeyRole, role);
    auto keys = numbered(12);
    keys[5].first = "555555";
    keys[9].second = "555555";
    keys[7].second = "777";
    keys[10].second = "46000000000104";
    const QByteArray goods = goodsBytes(m_goods, keys);
    QVERIFY(writeFile(path("g_tvr.bin"), goods));
    QByteArray rec;
    const TvrHit hit = searchTvr(text, order, false, path("g_tvr.bin"), m_goods, path("d_prh.bin"), TableDescr(), rec);
    QCOMPARE(hit.record, record);
    if (record >= 0) {
        QCOMPARE(hit.role, role);
        QCOMPARE(hit.fieldIndex, m_goods.fieldIndex(role == KeyRole::Bar ? "BAR" : "CODE"));
        QCOMPARE(rec, goods.mid(record * 64, 64));
    }
    QVERIFY(readFile(m_log).startsWith(QByteArray(QByteArray("searchTvr ") + text + "\r\n")));
}

void TestIndex::receiptModeScansDocument()
{
    // The document has its own layout; the goods table is not touched and no index is built.
    const TableDescr doc = Fixtures::table("PRH", "D", ';',
        { field("BAR", FieldType::Digit, 13), field("CODE", FieldType::Digit, 5),
            field("QNT", FieldType::Quantity, 9) });
    QByteArray docBytes;
    QByteArray rec;
    for (const char* line : { "4600000000001;11111;1", "4600000000002;22222;2", "4600000000002;33333;3" }) {
        QCOMPARE(lineToRecord(doc, QByteArray(line), rec), -1);
        docBytes += rec;
    }
    QVERIFY(writeFile(path("d_prh.bin"), docBytes));
    QVERIFY(writeFile(path("g_tvr.bin"), goodsBytes(m_goods, numbered(5))));

    TvrHit hit = searchTvr(
        "4600000000002", SearchOrder::CodeOnly, true, path("g_tvr.bin"), m_goods, path("d_prh.bin"), doc, rec);
    QCOMPARE(hit.record, 1);
    QCOMPARE(hit.role, KeyRole::Bar);
    QCOMPARE(hit.fieldIndex, 0);
    // Five characters fit the document's CODE field (length 5): looked up by code.
    hit = searchTvr("33333", SearchOrder::BarThenCode, true, path("g_tvr.bin"), m_goods, path("d_prh.bin"), doc, rec);
    QCOMPARE(hit.record, 2);
    QCOMPARE(hit.role, KeyRole::Code);
    QCOMPARE(rec, docBytes.mid(2 * doc.recordLength, doc.recordLength));
    hit = searchTvr("100001", SearchOrder::CodeOnly, true, path("g_tvr.bin"), m_goods, path("d_prh.bin"), doc, rec);
    QCOMPARE(hit.record, -1);
    // A barcode of 14 digits fills the document's field; a fifteenth digit is not cut off to match it.
    QCOMPARE(lineToRecord(doc, QByteArray("46000000000033;44444;4"), rec), -1);
    QVERIFY(writeFile(path("d_prh.bin"), docBytes + rec));
    hit = searchTvr(
        "46000000000033", SearchOrder::CodeOnly, true, path("g_tvr.bin"), m_goods, path("d_prh.bin"), doc, rec);
    QCOMPARE(hit.record, 3);
    hit = searchTvr(
        "460000000000334", SearchOrder::CodeOnly, true, path("g_tvr.bin"), m_goods, path("d_prh.bin"), doc, rec);
    QCOMPARE(hit.record, -1);
    QVERIFY(!QFile::exists(path("Bar.ndx")));
    QVERIFY(!QFile::exists(path("Code.ndx")));
}

void TestIndex::prepareBuildsOnlyMissing()
{
    // No goods table yet: nothing to build, nothing created.
    QVERIFY(prepareIndexFiles(path("g_tvr.bin"), m_goods));
    QVERIFY(!QFile::exists(path("Bar.ndx")));
    QVERIFY(!QFile::exists(path("Code.ndx")));

    const QByteArray goods = goodsBytes(m_goods, numbered(50));
    QVERIFY(writeFile(path("g_tvr.bin"), goods));
    const QByteArray oldBar = QByteArray(14 * 3, '9');
    QVERIFY(writeFile(path("Bar.ndx"), oldBar));
    QVERIFY(prepareIndexFiles(path("g_tvr.bin"), m_goods));
    // The missing one is built from the table; the one that is there is left for the lookups.
    QCOMPARE(readFile(path("Code.ndx")), column(goods, code(), m_goods.recordLength));
    QCOMPARE(readFile(path("Bar.ndx")), oldBar);
    QByteArray rec;
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "4600000000049", rec), 49);
    QCOMPARE(readFile(path("Bar.ndx")), column(goods, bar(), m_goods.recordLength));
}

void TestIndex::unreadableFiles_data()
{
    QTest::addColumn<QString>("file"); // the file that cannot be read
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("record");

    QTest::newRow("goods table is a folder")
        << QStringLiteral("g_tvr.bin") << QStringLiteral("folder") << int(SearchFileError);
    QTest::newRow("goods table read error")
        << QStringLiteral("g_tvr.bin") << QStringLiteral("read error") << int(SearchFileError);
    // An index that cannot be read is passed over: the goods scan finds the record.
    QTest::newRow("index is a folder") << QStringLiteral("Bar.ndx") << QStringLiteral("folder") << 7;
    QTest::newRow("index read error") << QStringLiteral("Bar.ndx") << QStringLiteral("read error") << 7;
}

void TestIndex::unreadableFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, how);
    QFETCH(int, record);
    const QString target = m_dir->filePath(file);
    if (file != QLatin1String("g_tvr.bin"))
        QVERIFY(writeFile(path("g_tvr.bin"), goodsBytes(m_goods, numbered(20))));
    if (how == QLatin1String("folder")) {
        QVERIFY(QDir(m_dir->path()).mkdir(file));
    } else {
        QFile probe(QStringLiteral("/proc/self/mem"));
        if (!probe.open(QIODevice::ReadOnly))
            QSKIP("no /proc/self/mem here");
        QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), target));
    }
    QByteArray rec;
    QCOMPARE(searchNdx(path("g_tvr.bin"), m_goods, KeyRole::Bar, "4600000000007", rec), record);
    // The goods lookup stops at an unreadable table, whatever the order still had to try.
    const TvrHit hit = searchTvr(
        "100007", SearchOrder::CodeThenBar, false, path("g_tvr.bin"), m_goods, path("d_prh.bin"), TableDescr(), rec);
    QCOMPARE(hit.record, record);
    if (record == SearchFileError)
        QCOMPARE(hit.role, KeyRole::Code);
    // In receipt mode the document table itself is searched.
    const TvrHit doc = searchTvr(
        "4600000000007", SearchOrder::CodeOnly, true, path("g_tvr.bin"), m_goods, path("g_tvr.bin"), m_goods, rec);
    QCOMPARE(doc.record, record);
}

QTEST_GUILESS_MAIN(TestIndex)
#include "tst_index.moc"
