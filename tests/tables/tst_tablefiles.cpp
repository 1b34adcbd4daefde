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

QTEST_GUILESS_MAIN(TestTableFiles)
#include "tst_tablefiles.moc"
