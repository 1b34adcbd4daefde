// Reduction of a loaded text directory into its table, and conversion of a table for unloading:
// the old table stays unless a complete and usable new one replaces it.

#include "ConvFile.h"
#include "ExchangeFixtures.h"
#include "FailingDevices.h"
#include "Index.h"
#include "Reduction.h"

#include <QTest>

#include <sys/stat.h>

using ExchangeFixtures::entries;
using TestUtil::readFile;
using TestUtil::writeFile;

Q_DECLARE_METATYPE(ReduceResult)

namespace {

QByteArray goodsLines(int count)
{
    QByteArray text;
    for (int i = 1; i <= count; ++i)
        text += QByteArray::number(i) + ";46000000" + QByteArray::number(10000 + i) + ";Item;12.50;1\r\n";
    return text;
}

QByteArray weightLines(int count)
{
    return QByteArray("13;22;2S5A5W;0\r\n").repeated(count);
}

// What a fresh index file holds: the key field of every record.
QByteArray keyColumn(const QByteArray& table, const TableDescr& goods, KeyRole role)
{
    const FieldDescr& key = goods.fields[keyFieldIndex(goods, role)];
    QByteArray column;
    for (qint64 at = 0; at < table.size(); at += goods.recordLength)
        column += table.mid(at + key.offset, key.width);
    return column;
}

} // namespace

class TestReduction : public QObject {
    Q_OBJECT
    ExchangeFixtures::Folders m_f;

private slots:
    void init() { QVERIFY(m_f.make()); }

    void reduce_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<char>("table"); // g goods, w weight codes, - no description
        QTest::addColumn<QByteArray>("text"); // "/": a folder of that name
        QTest::addColumn<ReduceResult>("result");
        QTest::addColumn<int>("records");
        const QByteArray bad = "x;1;a;1;1\r\n1;1;a;12.5;1\r\n";
        QTest::newRow("goods") << 1 << 'g' << goodsLines(5) << ReduceResult::Ok << 5;
        QTest::newRow("bad lines") << 1 << 'g' << goodsLines(3) + bad << ReduceResult::BadLines << 3;
        QTest::newRow("not one line converts") << 1 << 'g' << bad << ReduceResult::Failed << 2;
        QTest::newRow("empty text") << 1 << 'g' << QByteArray() << ReduceResult::Empty << 2;
        QTest::newRow("text is a folder") << 1 << 'g' << QByteArray("/") << ReduceResult::Failed << 2;
        QTest::newRow("no description") << 1 << '-' << goodsLines(3) << ReduceResult::Failed << 0;
        QTest::newRow("disk full") << 1 << 'g' << goodsLines(4000) << ReduceResult::Failed << 2;
        QTest::newRow("weight codes") << 4 << 'w' << weightLines(32) << ReduceResult::Ok << 32;
        QTest::newRow("more weight codes than load") << 4 << 'w' << weightLines(33) << ReduceResult::Failed << 2;
        QTest::newRow("weight codes, other layout") << 4 << 'g' << goodsLines(3) << ReduceResult::Failed << 2;
    }
    void reduce()
    {
        QFETCH(int, type);
        QFETCH(char, table);
        QFETCH(QByteArray, text);
        QFETCH(ReduceResult, result);
        QFETCH(int, records);
        TableDescr descr = table == 'w' ? ExchangeFixtures::weightTable()
            : table == 'g'              ? Fixtures::goods()
                                        : TableDescr();
        const QString binFile = m_f.path("goods_tvr.bin");
        QVERIFY(
            text == "/" ? QDir(m_f.work).mkdir(QStringLiteral("GOODS.TVR")) : writeFile(m_f.path("GOODS.TVR"), text));
        // The old table of two records, its index files and its change marker.
        const QByteArray old(2 * descr.recordLength, 'o');
        QVERIFY(writeFile(binFile, old) && writeFile(m_f.path("goods_tvr.chg"), ""));
        QCOMPARE(::chmod(QFile::encodeName(binFile).constData(), 0660), 0);
        QVERIFY(writeFile(m_f.path("Bar.ndx"), "old bar") && writeFile(m_f.path("Code.ndx"), "old code"));
        const QStringList before = entries(m_f.work);

        ConvFile conv;
        qint64 lastDone = -1;
        connect(&conv, &ConvFile::dataTransferProgress, this, [&](qint64 done, qint64) { lastDone = done; });
        const auto run = [&] { return reduceText(conv, type, m_f.path("goods.tvr"), binFile, descr); };
        QCOMPARE(QTest::currentDataTag() == QByteArray("disk full") ? withFileSizeLimit(4096, run) : run(), result);
        QCOMPARE(descr.recordCount, records);
        const QByteArray now = readFile(binFile);
        if (result != ReduceResult::Ok && result != ReduceResult::BadLines) {
            QCOMPARE(now, old);
            QCOMPARE(entries(m_f.work), before);
            QCOMPARE(readFile(m_f.path("Bar.ndx")) + readFile(m_f.path("Code.ndx")), QByteArray("old barold code"));
            return;
        }
        QCOMPARE(now.size(), qsizetype(records) * descr.recordLength);
        // The new table has the old one's permissions, not its temporary's.
        struct stat st { };
        QCOMPARE(::stat(QFile::encodeName(binFile).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0660);
        QCOMPARE(lastDone, qint64(text.size()));
        QVERIFY(!QFile::exists(m_f.path("goods_tvr.chg")));
        if (type == 1) {
            QCOMPARE(readFile(m_f.path("Bar.ndx")), keyColumn(now, descr, KeyRole::Bar));
            QCOMPARE(readFile(m_f.path("Code.ndx")), keyColumn(now, descr, KeyRole::Code));
        }
    }

    void unload()
    {
        TableDescr goods = Fixtures::goods();
        ConvFile conv;
        QVERIFY(writeFile(m_f.path("in.res"), goodsLines(3)) && writeFile(m_f.path("Ostatki.res"), "previous\r\n"));
        QVERIFY(conv.ConvertToBin(m_f.path("in.res"), m_f.path("Ostatki_res.bin"), goods));
        QVERIFY(QDir(m_f.work).mkdir(QStringLiteral("Folder_res.bin")));
        // A folder reads as an error, which must not replace the text.
        QVERIFY(!convertForUnload(conv, m_f.path("Folder_res.bin"), m_f.path("Ostatki.res"), goods));
        QVERIFY(!convertForUnload(conv, m_f.path("OSTATKI_RES.BIN"), m_f.path("Ostatki.res"), TableDescr()));
        QCOMPARE(readFile(m_f.path("Ostatki.res")), QByteArray("previous\r\n"));
        QVERIFY(convertForUnload(conv, m_f.path("OSTATKI_RES.BIN"), m_f.path("Ostatki.res"), goods));
        QVERIFY(readFile(m_f.path("Ostatki.res")).startsWith("1;4600000010001;Item"));
        QCOMPARE(readFile(m_f.path("Ostatki.res")).count("\r\n"), 3);
    }
};

QTEST_GUILESS_MAIN(TestReduction)
#include "tst_reduction.moc"
