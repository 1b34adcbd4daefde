// The document list of the exchange: which files it offers and how, the marks, and what the
// selection lets through.

#include "Codec.h"
#include "ConvFile.h"
#include "DocumentList.h"
#include "ExchangeFixtures.h"
#include "FieldCodec.h"
#include "RecordFile.h"
#include "TableFiles.h"

#include <QScopeGuard>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using TestUtil::writeFile;

namespace {

// Every row of the binary list table as "NAME|TYPE|NUMBER|COUNT|FLAG".
QStringList listRows(const TableDescr& tab)
{
    QStringList rows;
    QByteArray record;
    for (qint32 n = 0; readRec(binFileName(tab), tab, n, record); ++n) {
        QStringList items;
        for (const char* name : { "NAME", "TYPE", "NUMBER", "COUNT", "FLAG" })
            items << toUi(fieldToText(tab.fields[tab.fieldIndex(QByteArray(name))], record).trimmed());
        rows << items.join(QLatin1Char('|'));
    }
    return rows;
}

QStringList names(const QList<SelectionEntry>& entries)
{
    QStringList out;
    for (const SelectionEntry& e : entries)
        out << toUi(e.name);
    return out;
}

} // namespace

class TestDocumentList : public QObject {
    Q_OBJECT
    ExchangeFixtures::Folders m_f;
    TableDescr m_tab;

private slots:
    void init()
    {
        QVERIFY(m_f.make());
        ExchangeFixtures::fillRegistry();
        m_tab = ExchangeFixtures::listTable();
    }

    void loadList_data()
    {
        // Input files of 120 bytes; "/" at the end: a folder; "raw:": the name in Windows-1251 bytes.
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("leftOut");
        QTest::newRow("kinds and numbers")
            << QStringList { QStringLiteral("Ostatki.res"), QStringLiteral("Tovar01.TVR"), QStringLiteral("tovar.tvr"),
                   QStringLiteral("Vescod.wgt"), QStringLiteral("Prihod.prh"), QStringLiteral("x.txt"),
                   QStringLiteral("dir.tvr/") }
            << QStringList { QStringLiteral("Ostatki.res|3|Б/Н|1|"), QStringLiteral("tovar.tvr|1|Б/Н|1|"),
                   QStringLiteral("Tovar01.TVR|1|01|1|"), QStringLiteral("Vescod.wgt|4|Б/Н|2|") }
            << QStringList();
        QTest::newRow("blanks and Cyrillic")
            << QStringList { QStringLiteral("Товар 5.tvr"), QStringLiteral("raw:Товар.tvr") }
            << QStringList { QStringLiteral("Товар 5.tvr|1|5|1|") } << QStringList { QStringLiteral("Товар.tvr") };
        const QString longest = QStringLiteral("Tovar_with_a_rather_long_nam.tvr"); // 32, the NAME field
        QTest::newRow("names that cannot be listed whole")
            << QStringList { QStringLiteral("a..b.tvr"), QStringLiteral("a\\b.tvr"), QStringLiteral("x;y.tvr"),
                   QStringLiteral(" x.tvr"), QStringLiteral("货.tvr"),
                   QStringLiteral("Tovar_with_a_rather_long_name.tvr"), longest }
            << QStringList { longest + QStringLiteral("|1|_with_a_rather_l|1|") }
            << QStringList { QStringLiteral("a..b.tvr"), QStringLiteral("a\\b.tvr"), QStringLiteral("x;y.tvr"),
                   QStringLiteral(" x.tvr"), QStringLiteral("?.tvr"),
                   QStringLiteral("Tovar_with_a_rather_long_name.tvr") };
    }
    void loadList()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, leftOut);
        const QString in = m_f.path("in");
        QVERIFY(QDir().mkpath(in));
        // The folder classes cannot remove what they cannot spell.
        QList<QByteArray> raw;
        const auto removeRaw = qScopeGuard([&] {
            for (const QByteArray& path : raw)
                ::unlink(path.constData());
        });
        for (const QString& file : files) {
            if (file.endsWith(QLatin1Char('/'))) {
                QVERIFY(QDir(in).mkdir(file));
            } else if (file.startsWith(QLatin1String("raw:"))) {
                raw << QFile::encodeName(in) + '/' + fromUi(file.mid(4));
                const int fd = ::open(raw.last().constData(), O_CREAT | O_WRONLY, 0644);
                QVERIFY(fd >= 0 && ::close(fd) == 0);
            } else {
                QVERIFY(writeFile(QDir(in).filePath(file), QByteArray(120, 'x')));
            }
        }
        QVERIFY(buildLoadList(in + QStringLiteral("/"), m_tab, false, true));
        QCOMPARE(listRows(m_tab), rows);
        for (const QString& name : leftOut)
            QVERIFY2(m_f.log().contains(QByteArray("left out: " + fromUi(name))), qPrintable(name));
    }

    void vanishedFolder()
    {
        QVERIFY(!buildLoadList(m_f.path("gone"), m_tab, false, false));
        QVERIFY(m_f.log().contains("buildLoadList: no folder"));
    }

    void markingMoreThanTheSelectionHolds()
    {
        QStringList all;
        for (int i = 0; i <= MaxSelection; ++i) {
            all << QStringLiteral("Tovar%1.tvr").arg(i, 2, 10, QLatin1Char('0'));
            QVERIFY(writeFile(m_f.path(QStringLiteral("in/") + all.last()), "1;2\r\n"));
        }
        QVERIFY(buildLoadList(m_f.path("in"), m_tab, false, false));
        for (int row = 0; row < all.size(); ++row)
            QVERIFY(toggleMark(m_tab, row));
        QList<SelectionEntry> entries;
        bool overflow = false;
        QVERIFY(readSelection(m_tab, entries, overflow));
        QVERIFY(overflow);
        QCOMPARE(names(entries), all.mid(0, MaxSelection));
        QCOMPARE(entries.at(7).number, QByteArray("07"));
        // A second press takes the mark off.
        QVERIFY(toggleMark(m_tab, 5));
        QVERIFY(readSelection(m_tab, entries, overflow));
        QVERIFY(!overflow);
        all.removeAt(5);
        QCOMPARE(names(entries), all);
    }

    void selectionSkipsUnsafeRows_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("taken");
        QTest::newRow("any other file") << QByteArray("price list.xls;;0;;0;01.01.26;10:00;+") << true;
        QTest::newRow("not marked") << QByteArray("Tovar5.tvr;;1;5;0;01.01.26;10:00; ") << false;
        QTest::newRow("type 7") << QByteArray("Tovar5.tvr;;7;5;0;01.01.26;10:00;+") << false;
        QTest::newRow("parent folder") << QByteArray("../OrtUser.ini;;0;;0;01.01.26;10:00;+") << false;
        QTest::newRow("backslash") << QByteArray("..\\x.tvr;;1;;0;01.01.26;10:00;+") << false;
    }
    void selectionSkipsUnsafeRows()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, taken);
        const QByteArray last = "Vescod.wgt;;4;;0;01.01.26;10:00;+\r\n";
        QVERIFY(writeFile(textFileName(m_tab), line + "\r\n" + last));
        ConvFile conv;
        QVERIFY(conv.ConvertToBin(textFileName(m_tab), binFileName(m_tab), m_tab));
        QList<SelectionEntry> entries;
        bool overflow = true;
        QVERIFY(readSelection(m_tab, entries, overflow));
        QVERIFY(!overflow);
        QStringList expected { QStringLiteral("Vescod.wgt") };
        if (taken)
            expected.prepend(QString::fromLatin1(line.left(line.indexOf(';'))));
        QCOMPARE(names(entries), expected);
        QCOMPARE(entries.last().type, 4);
        QCOMPARE(m_f.log().contains("skipped"), !taken && line.endsWith('+'));
    }

    void unloadList_data()
    {
        QTest::addColumn<bool>("onDocument");
        QTest::addColumn<bool>("caseChanged");
        QTest::addColumn<bool>("receipt");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("current tables") << false << true << false
                                        << QStringList { QStringLiteral("Ostatki_res.bin|3|Б/Н|2|+"),
                                               QStringLiteral("TOVAR_TVR.BIN|1|Б/Н|2|") };
        QTest::newRow("changes not flagged")
            << false << false << true
            << QStringList { QStringLiteral("Ostatki_res.bin|3|Б/Н|2|"), QStringLiteral("Prihod_prh.bin|2|Б/Н|1|") };
        QTest::newRow("numbered copies") << true << true << false
                                         << QStringList { QStringLiteral("Ostatki_res.bin|3|Б/Н|2|+"),
                                                QStringLiteral("Tovar01_tvr.bin|1|01|1|+"),
                                                QStringLiteral("TOVAR_TVR.BIN|1|Б/Н|2|") };
    }
    void unloadList()
    {
        QFETCH(bool, onDocument);
        QFETCH(bool, caseChanged);
        QFETCH(bool, receipt);
        QFETCH(QStringList, rows);
        const QByteArray record(64, 'r');
        QVERIFY(writeFile(m_f.path("Ostatki_res.bin"), record + record) && writeFile(m_f.path("OSTATKI_RES.CHG"), ""));
        QVERIFY(writeFile(m_f.path("Tovar01_tvr.bin"), record) && writeFile(m_f.path("Tovar01_tvr.chg"), ""));
        QVERIFY(writeFile(m_f.path("TOVAR_TVR.BIN"), record + record) && writeFile(m_f.path("Prihod_prh.bin"), record));
        QVERIFY(writeFile(m_f.path("Vescod.wgt"), "13;2;2S5A5W;0\r\n"));
        QVERIFY(buildUnloadList(m_tab, receipt, onDocument, caseChanged));
        QCOMPARE(listRows(m_tab), rows);
    }

    void configuredNamesStayInside()
    {
        descrRegistry().table("TVR")->workName = "../Tovar";
        QVERIFY(writeFile(m_f.root->filePath(QStringLiteral("Tovar_tvr.bin")), QByteArray(64, 'r')));
        QVERIFY(writeFile(m_f.path("Vescod_wgt.bin"), QByteArray(56, 'w')));
        QVERIFY(buildUnloadList(m_tab, false, false, false));
        QCOMPARE(listRows(m_tab), QStringList { QStringLiteral("Vescod_wgt.bin|4|Б/Н|1|") });
        QVERIFY(m_f.log().contains("buildUnloadList: name leaves the folder, left out: ../Tovar_tvr.bin"));
        QCOMPARE(names(fixedLoadSelection(false)), QStringList { QStringLiteral("Vescod.wgt") });
        // Weight codes the settings do not describe are not fetched.
        *descrRegistry().table("WGT") = TableDescr();
        const QList<SelectionEntry> fixed = fixedLoadSelection(true);
        QCOMPARE(names(fixed), QStringList { QStringLiteral("Prihod.prh") });
        QCOMPARE(fixed.first().type, 2);
    }

    void incompleteListTable_data()
    {
        QTest::addColumn<QByteArray>("missing");
        QTest::newRow("no description") << QByteArray();
        QTest::newRow("no FLAG field") << QByteArray("FLAG");
    }
    void incompleteListTable()
    {
        QFETCH(QByteArray, missing);
        QVERIFY(writeFile(m_f.path("in/Tovar.tvr"), "1;2\r\n"));
        TableDescr tab;
        if (!missing.isEmpty()) {
            tab = ExchangeFixtures::listTable();
            tab.fields.removeAt(tab.fieldIndex(missing));
            tab.computeLayout();
        }
        QVERIFY(!buildLoadList(m_f.path("in"), tab, false, false));
        QVERIFY(!buildUnloadList(tab, false, true, false));
        QVERIFY(!toggleMark(tab, 0));
        QList<SelectionEntry> entries;
        bool overflow = false;
        QVERIFY(!readSelection(tab, entries, overflow));
    }
};

QTEST_GUILESS_MAIN(TestDocumentList)
#include "tst_documentlist.moc"
