#include "FieldCodec.h"
#include "Index.h"
#include "IndexFreshness.h"
#include "KeyIndex.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QDateTime>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using Fixtures::field;
using TestUtil::readFile;
using TestUtil::writeFile;

namespace {

// The lowest record holding each key: the answer of a scan from record 0.
QHash<QByteArray, qint32> firstByKey(const QByteArray& goods, qint32 recordLength, qint32 offset, qint32 width)
{
    QHash<QByteArray, qint32> first;
    for (qint32 r = 0; qint64(r + 1) * recordLength <= goods.size(); ++r) {
        const QByteArray key = goods.mid(qint64(r) * recordLength + offset, width);
        if (!first.contains(key))
            first.insert(key, r);
    }
    return first;
}

// Goods records of the fixture layout (or one with a longer NAME) from barcodes.
QByteArray goodsBytes(const TableDescr& t, const QList<QByteArray>& bars)
{
    QByteArray out;
    QByteArray rec;
    for (int i = 0; i < bars.size(); ++i) {
        const QByteArray line
            = QByteArray::number(100000 + i) + ';' + bars[i] + ";N" + QByteArray::number(i) + ";1.00;1";
        if (lineToRecord(t, line, rec) != -1)
            return {};
        out += rec;
    }
    return out;
}

bool setModified(const QString& path, const QDateTime& when)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

} // namespace

class TestKeyIndex : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void agreesWithScan_data();
    void agreesWithScan();
    void neverTrustedWhenStale_data();
    void neverTrustedWhenStale();
    void pageOfTheOtherKeyRejected();
    void goodsChangedInPlace_data();
    void goodsChangedInPlace();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }
    QString m_log;
};

void TestKeyIndex::init()
{
    forgetIndexFreshness();
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_log = TestUtil::openRunLogIn(m_dir->path());
}

void TestKeyIndex::cleanup()
{
    RunLog::instance().close();
}

void TestKeyIndex::agreesWithScan_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("distinct"); // keys drawn from a pool of this many, so most repeat
    QTest::addColumn<QByteArray>("alphabet"); // the bytes keys are made of

    const QByteArray digits("0123456789");
    // Bytes above 0x7F must sort after ASCII, as the lookup compares them.
    const QByteArray highLow("\x01\x7f\x80\xfe", 4);
    QTest::newRow("empty table") << 0 << 14 << 6 << 1 << digits;
    QTest::newRow("one record") << 1 << 14 << 6 << 1 << digits;
    QTest::newRow("one leaf, duplicates") << 200 << 14 << 6 << 37 << digits;
    // 227 pairs of a 14-byte key fill a leaf: three full leaves and one pair more.
    QTest::newRow("leaves exactly full and one more") << 682 << 14 << 0 << 300 << digits;
    QTest::newRow("three levels of barcodes") << 70000 << 14 << 6 << 40000 << digits;
    QTest::newRow("wide keys, five levels") << 300 << 1000 << 3 << 120 << highLow;
    QTest::newRow("high bytes") << 3000 << 4 << 2 << 200 << highLow;
    QTest::newRow("two-byte keys, few values") << 5000 << 2 << 6 << 10 << highLow;
}

void TestKeyIndex::agreesWithScan()
{
    QFETCH(int, records);
    QFETCH(int, width);
    QFETCH(int, offset);
    QFETCH(int, distinct);
    QFETCH(QByteArray, alphabet);
    QRandomGenerator rng(20260308u + quint32(records));
    auto randomKey = [&] {
        QByteArray k(width, Qt::Uninitialized);
        // A shared prefix of random length makes neighbouring keys differ late.
        const int common = int(rng.bounded(width));
        for (int b = 0; b < width; ++b)
            k[b] = b < common ? alphabet[0] : alphabet[int(rng.bounded(alphabet.size()))];
        return k;
    };
    QList<QByteArray> pool;
    for (int i = 0; i < distinct; ++i)
        pool << randomKey();
    const qint32 recordLength = offset + width + 6;
    QByteArray goods;
    goods.reserve(qint64(records) * recordLength);
    for (int r = 0; r < records; ++r)
        goods += QByteArray(offset, 'a') + pool[int(rng.bounded(distinct))] + QByteArray::number(100000 + r % 900000);
    QVERIFY(writeFile(path("g_tvr.bin"), goods));

    KeyIndexFiles files;
    files.goodsFile = path("g_tvr.bin");
    files.recordLength = recordLength;
    files.keyOffset = offset;
    files.keyWidth = width;
    files.indexFile = path("Bar.ndx");
    files.sortedFile = sortedIndexFileName(files.indexFile);
    QCOMPARE(files.sortedFile, path("Bar.sorted.ndx"));
    QCOMPARE(buildSortedIndex(files, IndexFileTrust::Trusted), SortedBuild::Built);

    const QHash<QByteArray, qint32> first = firstByKey(goods, recordLength, offset, width);
    QList<QByteArray> probes = pool;
    for (int i = 0; i < 300; ++i)
        probes << randomKey();
    probes << QByteArray(width, '\0') << QByteArray(width, '\xff');
    QSet<QByteArray> found;
    for (const QByteArray& key : probes) {
        const qint32 want = first.value(key, -1);
        qint32 got = -1;
        QByteArray rec("untouched");
        const KeyLookup result = lookupSortedIndex(files, key, got, rec);
        if (result != (want >= 0 ? KeyLookup::Found : KeyLookup::Absent) || (want >= 0 && got != want))
            QFAIL(qPrintable(QStringLiteral("key %1: result %2, record %3, scan finds %4")
                                 .arg(QString::fromLatin1(key.toHex()))
                                 .arg(int(result))
                                 .arg(got)
                                 .arg(want)));
        QCOMPARE(rec, want >= 0 ? goods.mid(qint64(want) * recordLength, recordLength) : QByteArray("untouched"));
        if (want >= 0)
            found.insert(key);
    }
    QCOMPARE(found.size(), first.size());
}

void TestKeyIndex::neverTrustedWhenStale_data()
{
    QTest::addColumn<QString>("spoil");
    QTest::newRow("missing") << QStringLiteral("missing");
    QTest::newRow("truncated to a page") << QStringLiteral("truncated to a page");
    QTest::newRow("truncated inside a page") << QStringLiteral("truncated inside a page");
    QTest::newRow("full of zeros") << QStringLiteral("zeros");
    QTest::newRow("header damaged") << QStringLiteral("header damaged");
    QTest::newRow("leaf damaged") << QStringLiteral("leaf damaged");
    QTest::newRow("of another goods table") << QStringLiteral("another table");
    QTest::newRow("of another record length") << QStringLiteral("another record length");
    QTest::newRow("newer, from an older table of the same size") << QStringLiteral("older table, same size");
    QTest::newRow("index file replaced") << QStringLiteral("index file replaced");
    QTest::newRow("built from a new table, next run") << QStringLiteral("racy");
}

void TestKeyIndex::neverTrustedWhenStale()
{
    // A table of 660 goods and its sorted file, built in an earlier run from a table that had been
    // there an hour. Each row spoils the file or changes what it was built from in a way that
    // would answer some key wrongly if the file were believed.
    QFETCH(QString, spoil);
    const QString bin = path("g_tvr.bin");
    const QDateTime anHourAgo = QDateTime::currentDateTime().addSecs(-3600);
    QRandomGenerator rng(7331);
    QList<QByteArray> bars;
    for (int i = 0; i < 660; ++i)
        bars << QByteArray::number(4600000000000LL + rng.bounded(400));
    TableDescr table = Fixtures::goods();
    QByteArray goods = goodsBytes(table, bars);
    QVERIFY(writeFile(bin, goods));
    if (spoil != QLatin1String("racy"))
        QVERIFY(setModified(bin, anHourAgo));
    QVERIFY(prepareIndexFiles(bin, table));

    auto filesFor = [&](const TableDescr& t) {
        const FieldDescr& bar = t.fields[t.fieldIndex("BAR")];
        KeyIndexFiles f;
        f.goodsFile = bin;
        f.recordLength = t.recordLength;
        f.keyOffset = bar.offset;
        f.keyWidth = bar.width;
        f.indexFile = path("Bar.ndx");
        f.sortedFile = path("Bar.sorted.ndx");
        return f;
    };
    QVERIFY(sortedIndexUsable(filesFor(table)));
    const QByteArray sorted = readFile(path("Bar.sorted.ndx"));
    QList<QByteArray> probes = bars;
    probes << "4600000000400"
           << "4600000000999"
           << "2000000000000";

    // Records of the table that lie outside every block the header's checksum samples: changes
    // there are seen only through the file's times.
    QList<int> unsampled;
    for (int r = 0; r < bars.size(); ++r) {
        bool inBlock = false;
        for (const qint64 at : goodsSampleOffsets(goods.size()))
            inBlock = inBlock || (qint64(r + 1) * 64 > at && qint64(r) * 64 < at + 4096);
        if (!inBlock)
            unsampled << r;
    }
    QVERIFY(unsampled.size() >= 4);
    // A new barcode at one of them, and the barcode of record unsampled[3] moved to a record
    // before its first place.
    auto changedBars = [&] {
        QList<QByteArray> b = bars;
        b[unsampled[0]] = "4600000000999";
        const QByteArray moved = b[unsampled[3]];
        b[unsampled[1]] = moved;
        b[unsampled[2]] = moved;
        probes << moved;
        return b;
    };

    const QString sortedFile = path("Bar.sorted.ndx");
    if (spoil == QLatin1String("missing")) {
        QVERIFY(QFile::remove(sortedFile));
    } else if (spoil == QLatin1String("truncated to a page")) {
        QVERIFY(QFile::resize(sortedFile, sorted.size() - 4096));
    } else if (spoil == QLatin1String("truncated inside a page")) {
        QVERIFY(QFile::resize(sortedFile, sorted.size() - 100));
    } else if (spoil == QLatin1String("zeros")) {
        QVERIFY(writeFile(sortedFile, QByteArray(sorted.size(), '\0')));
    } else if (spoil == QLatin1String("header damaged") || spoil == QLatin1String("leaf damaged")) {
        QByteArray bytes = sorted;
        const int at = spoil == QLatin1String("header damaged") ? 40 : 4096 + 20;
        bytes[at] = char(bytes[at] ^ 0x01);
        QVERIFY(writeFile(sortedFile, bytes));
    } else if (spoil == QLatin1String("another table")) {
        // The same size and modification time, under a new file put in place by a rename.
        goods = goodsBytes(table, changedBars());
        QVERIFY(writeFile(path("other_tvr.bin"), goods));
        QVERIFY(setModified(path("other_tvr.bin"), QFileInfo(bin).lastModified()));
        QVERIFY(
            std::rename(QFile::encodeName(path("other_tvr.bin")).constData(), QFile::encodeName(bin).constData()) == 0);
    } else if (spoil == QLatin1String("another record length")) {
        // NAME two bytes longer: 640 records of 66 bytes fill the 42,240 bytes that 660 of 64 did.
        table = Fixtures::table("TVR", "GOODS", ';',
            { field("CODE", FieldType::Digit, 6), field("BAR", FieldType::Digit, 13),
                field("NAME", FieldType::Text, 38), field("PRICE", FieldType::Summa, 10),
                field("QUANT", FieldType::Quantity, 10) });
        const QDateTime was = QFileInfo(bin).lastModified();
        goods = goodsBytes(table, changedBars().mid(20));
        QCOMPARE(goods.size(), 660 * 64);
        QVERIFY(writeFile(bin, goods));
        QVERIFY(setModified(bin, was));
    } else if (spoil == QLatin1String("older table, same size")) {
        // Rewritten in place outside the sampled blocks and given its old modification time, so
        // that the sorted file is newer than the table and size, inode and samples all agree.
        const QDateTime was = QFileInfo(bin).lastModified();
        goods = goodsBytes(table, changedBars());
        QVERIFY(writeFile(bin, goods));
        QVERIFY(setModified(bin, was));
    } else if (spoil == QLatin1String("index file replaced")) {
        QVERIFY(writeFile(path("Bar.ndx"), QByteArray(660 * 14, '9')));
    }
    forgetIndexFreshness(); // the next run
    const KeyIndexFiles files = filesFor(table);
    // A damaged leaf shows when it is read; everything else already in the header.
    QCOMPARE(sortedIndexUsable(files), spoil == QLatin1String("leaf damaged"));
    const QByteArray lowest = *std::min_element(bars.cbegin(), bars.cend());
    QByteArray lowestKey;
    QVERIFY(searchKeyBytes(table.fields[table.fieldIndex("BAR")], lowest, lowestKey));
    qint32 n = -1;
    QByteArray rec;
    QCOMPARE(lookupSortedIndex(files, lowestKey, n, rec), KeyLookup::Unusable);

    // Every lookup gives the scan's answer, and the file is rebuilt on the way.
    const FieldDescr& bar = table.fields[table.fieldIndex("BAR")];
    const QHash<QByteArray, qint32> first = firstByKey(goods, table.recordLength, bar.offset, bar.width);
    for (int round = 0; round < 2; ++round) {
        // The rebuilt file answers the next run by itself: no miss scans the goods table.
        if (round == 1 && spoil != QLatin1String("racy"))
            forgetIndexFreshness();
        const qsizetype scans = readFile(m_log).count("searchTvrFile");
        for (const QByteArray& text : probes) {
            QByteArray key;
            QVERIFY(searchKeyBytes(bar, text, key));
            const qint32 want = first.value(key, -1);
            QCOMPARE(searchNdx(bin, table, KeyRole::Bar, text, rec), want);
            if (want >= 0)
                QCOMPARE(rec, goods.mid(qint64(want) * table.recordLength, table.recordLength));
        }
        if (round == 1)
            QCOMPARE(readFile(m_log).count("searchTvrFile"), scans);
        QVERIFY(sortedIndexUsable(files));
        QVERIFY(lookupSortedIndex(files, lowestKey, n, rec) != KeyLookup::Unusable);
    }
}

void TestKeyIndex::pageOfTheOtherKeyRejected()
{
    // Page 1 of the barcodes' sorted file put whole over page 1 of the codes' (a misdirected
    // write): its checksum must not hold there, or code 100000 would read as absent.
    QList<QByteArray> bars;
    for (int i = 0; i < 660; ++i)
        bars << QByteArray::number(4600000000000LL + 3 * i);
    const TableDescr table = Fixtures::goods();
    const QByteArray goods = goodsBytes(table, bars);
    const QString bin = path("g_tvr.bin");
    QVERIFY(writeFile(bin, goods));
    QVERIFY(setModified(bin, QDateTime::currentDateTime().addSecs(-3600)));
    QVERIFY(prepareIndexFiles(bin, table));
    QByteArray codes = readFile(path("Code.sorted.ndx"));
    const QByteArray barPages = readFile(path("Bar.sorted.ndx"));
    QVERIFY(codes.size() >= 2 * 4096 && barPages.size() >= 2 * 4096);
    codes.replace(4096, 4096, barPages.mid(4096, 4096));
    QVERIFY(writeFile(path("Code.sorted.ndx"), codes));
    forgetIndexFreshness();

    const FieldDescr& code = table.fields[table.fieldIndex("CODE")];
    KeyIndexFiles files;
    files.goodsFile = bin;
    files.recordLength = table.recordLength;
    files.keyOffset = code.offset;
    files.keyWidth = code.width;
    files.indexFile = path("Code.ndx");
    files.sortedFile = path("Code.sorted.ndx");
    QByteArray key;
    QVERIFY(searchKeyBytes(code, "100000", key));
    qint32 n = -1;
    QByteArray rec;
    QCOMPARE(lookupSortedIndex(files, key, n, rec), KeyLookup::Unusable);
    QCOMPARE(searchNdx(bin, table, KeyRole::Code, "100000", rec), 0);
    QCOMPARE(rec, goods.left(table.recordLength));
}

void TestKeyIndex::goodsChangedInPlace_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("record rewritten") << QStringLiteral("put");
    QTest::newRow("record appended") << QStringLiteral("append");
    QTest::newRow("another table rewritten") << QStringLiteral("other table");
}

void TestKeyIndex::goodsChangedInPlace()
{
    // A goods record rewritten in place changes neither size nor inode, and a power loss may take
    // back the times the write gave the table while keeping the record. The sorted files built
    // before must then be gone already, or the next start would trust them and find the new
    // barcode absent.
    QFETCH(QString, change);
    QList<QByteArray> bars;
    for (int i = 0; i < 20; ++i)
        bars << QByteArray::number(4600000000000LL + i);
    TableDescr table = Fixtures::goods();
    QByteArray goods = goodsBytes(table, bars);
    const QString bin = path("g_tvr.bin");
    QVERIFY(writeFile(bin, goods));
    QVERIFY(setModified(bin, QDateTime::currentDateTime().addSecs(-3600)));
    QVERIFY(prepareIndexFiles(bin, table));
    const QStringList sorted { path("Bar.sorted.ndx"), path("Code.sorted.ndx") };
    const QByteArray before = readFile(sorted[0]) + readFile(sorted[1]);
    QVERIFY(!before.isEmpty());

    QByteArray changed = goods.mid(5 * table.recordLength, table.recordLength);
    textToField(table.fields[table.fieldIndex("BAR")], "4600000000999", changed);
    if (change == QLatin1String("put")) {
        QVERIFY(putRec(bin, table, 5, changed));
    } else if (change == QLatin1String("append")) {
        QVERIFY(appendRec(bin, table, changed));
    } else {
        TableDescr results = table;
        results.extension = "RES";
        QVERIFY(writeFile(path("r_res.bin"), goods));
        QVERIFY(putRec(path("r_res.bin"), results, 5, changed));
    }
    if (change == QLatin1String("other table")) {
        QCOMPARE(readFile(sorted[0]) + readFile(sorted[1]), before);
        return;
    }
    for (const QString& file : sorted)
        QVERIFY2(!QFileInfo::exists(file), qPrintable(file));
    forgetIndexFreshness();
    QByteArray rec;
    QCOMPARE(searchNdx(bin, table, KeyRole::Bar, "4600000000999", rec), change == QLatin1String("put") ? 5 : 20);
    QCOMPARE(rec, changed);
}

QTEST_GUILESS_MAIN(TestKeyIndex)
#include "tst_keyindex.moc"
