#include "TableFiles.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QTest>

class TestTableFiles : public QObject {
    Q_OBJECT

private slots:
    void fileNames();
    void nameConversions_data();
    void nameConversions();
    void docKinds_data();
    void docKinds();
    void noDocKind();
};

void TestTableFiles::fileNames()
{
    TableDescr t = Fixtures::goods();
    t.workName = TestUtil::cp("Товары");
    QCOMPARE(textFileName(t), QStringLiteral("Товары.tvr"));
    QCOMPARE(binFileName(t), QStringLiteral("Товары_tvr.bin"));
    t.extension = "RES";
    t.workName = "OST12";
    QCOMPARE(textFileName(t), QStringLiteral("OST12.res"));
    QCOMPARE(binFileName(t), QStringLiteral("OST12_res.bin"));
    t.pname = TestUtil::cp("Остатки 12 шт");
    QCOMPARE(textFileNameResettingPname(t), QStringLiteral("OST12.res"));
    QCOMPARE(t.pname, TestUtil::cp("Остатки"));
}

void TestTableFiles::nameConversions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("bin");
    QTest::addColumn<QString>("marker");
    QTest::newRow("goods") << QStringLiteral("GOODS.tvr") << QStringLiteral("GOODS_tvr.BIN")
                           << QStringLiteral("GOODS_tvr.chg");
    QTest::newRow("upper") << QStringLiteral("D7.PRH") << QStringLiteral("D7_PRH.BIN") << QStringLiteral("D7_PRH.chg");
    QTest::newRow("bare extension") << QStringLiteral(".res") << QStringLiteral("_res.BIN")
                                    << QStringLiteral("_res.chg");
}

void TestTableFiles::nameConversions()
{
    QFETCH(QString, text);
    QFETCH(QString, bin);
    QFETCH(QString, marker);
    QCOMPARE(textToBinName(text), bin);
    QCOMPARE(binToTextName(bin), text);
    QCOMPARE(changeMarkerName(bin), marker);
    QCOMPARE(changeMarkerName(QStringLiteral("GOODS_tvr.bin")), QStringLiteral("GOODS_tvr.chg"));
    // Names too short for the rule give nothing rather than a garbled name.
    QVERIFY(textToBinName(QStringLiteral("a.b")).isEmpty());
    QVERIFY(binToTextName(QStringLiteral("_tvr.BI")).isEmpty());
}

void TestTableFiles::docKinds_data()
{
    QTest::addColumn<qint32>("code");
    QTest::addColumn<QByteArray>("extension");
    QTest::addColumn<QByteArray>("copyName"); // number 12 of working name "D"
    QTest::newRow("goods") << 1 << QByteArray("TVR") << QByteArray("D12_TVR.BIN");
    QTest::newRow("receipt") << 2 << QByteArray("PRH") << QByteArray("D12_PRH.BIN");
    QTest::newRow("results") << 3 << QByteArray("RES") << QByteArray("D12_RES.BIN");
    QTest::newRow("weight codes") << 4 << QByteArray("WGT") << QByteArray("D12_WGT.BIN");
}

// The stored code, the table extension and the copies' names name one kind.
void TestTableFiles::docKinds()
{
    QFETCH(qint32, code);
    QFETCH(QByteArray, extension);
    QFETCH(QByteArray, copyName);
    const std::optional<DocKind> kind = docKindOf(code);
    QVERIFY(kind);
    QCOMPARE(docKindCode(*kind), code);
    QCOMPARE(docKindExtension(*kind), extension);
    QCOMPARE(docKindOfExtension(extension), kind);
    QCOMPARE(docKindOfExtension(extension.toLower()), kind);
    QCOMPARE(numberedCopyName("D", "12", *kind), copyName);
}

void TestTableFiles::noDocKind()
{
    // 0 is any other file; the list table and the stored codes beyond 4 have no kind either.
    for (const qint32 code : { 0, 5, -1 })
        QVERIFY(!docKindOf(code));
    QVERIFY(!docKindOfExtension("TAB"));
    QVERIFY(!docKindOfExtension(QByteArray()));
}

QTEST_GUILESS_MAIN(TestTableFiles)
#include "tst_tablefiles.moc"
