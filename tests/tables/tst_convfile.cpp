#include "Codec.h"
#include "ConvFile.h"
#include "FieldCodec.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using Fixtures::field;
using TestUtil::cp;
using TestUtil::readFile;
using TestUtil::writeFile;

Q_DECLARE_METATYPE(LenRule)

namespace {
QString golden(const char* name)
{
    return QStringLiteral(ORTOVA_TEST_DATA "/conv/") + QString::fromLatin1(name);
}

// The table of the golden files: CODE, BAR, NAME (20), PRICE, QUANT, DAY, TM; record length 58.
TableDescr goldenGoods(LenRule rule = LenRule::Standart)
{
    return Fixtures::table("TVR", "GOODS", ';',
        { field("CODE", FieldType::Digit, 6, rule), field("BAR", FieldType::Digit, 13, rule),
            field("NAME", FieldType::Text, 20, rule), field("PRICE", FieldType::Summa, 10, rule),
            field("QUANT", FieldType::Quantity, 10, rule), field("DAY", FieldType::Date, 8, rule),
            field("TM", FieldType::Time, 5, rule) });
}

// TEXT and DIGIT only: every line, blank ones too, becomes a record.
TableDescr plain()
{
    return Fixtures::table("TAB", "P", ';', { field("T", FieldType::Text, 4), field("D", FieldType::Digit, 4) });
}

QByteArray plainRecord(const QByteArray& line)
{
    QByteArray rec;
    lineToRecord(plain(), line, rec);
    return rec;
}

// Runs f with writes beyond limit bytes failing (the limit holds for root too).
template <typename F>
auto withFileSizeLimit(rlim_t limit, F f)
{
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit lowered = old;
    lowered.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lowered);
    auto result = f();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return result;
}
} // namespace

class TestConvFile : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void toBinGolden();
    void exampleRecord();
    void toTxtGolden_data();
    void toTxtGolden();
    void roundTrip_data();
    void roundTrip();
    void lineEnds_data();
    void lineEnds();
    void crlfAcrossChunks_data();
    void crlfAcrossChunks();
    void hugeLine();
    void emptyFiles();
    void missingTextKeepsTable();
    void unreadableTextKeepsTable();
    void failedWriteKeepsTable();
    void progress();
    void backupIsPreviousText();
    void toTxtFailures();
    void partialTailIgnored();
    void checkWritesNothing();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString m_log;
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }
    QByteArray log() const { return readFile(m_log); }
};

void TestConvFile::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_log = TestUtil::openRunLogIn(m_dir->path());
}

void TestConvFile::cleanup()
{
    RunLog::instance().close();
}

void TestConvFile::toBinGolden()
{
    TableDescr t = goldenGoods();
    t.recordCount = 99;
    ConvFile conv;
    // Three bad lines (an amount with one decimal, a blank line, a letter in the code) are
    // skipped; the good ones are all written.
    QVERIFY(!conv.ConvertToBin(golden("goods.tvr"), path("goods_tvr.bin"), t));
    QCOMPARE(readFile(path("goods_tvr.bin")), readFile(golden("goods_tvr.bin")));
    QCOMPARE(t.recordCount, 5);
    const QByteArray expected = QByteArray("ConvertToBin\r\n") + cp("строка 3 поле 4 \"12.5\"\r\n")
        + cp("строка 4 поле 4 \"\"\r\n") + cp("строка 7 поле 1 \"10000X\"\r\n");
    QCOMPARE(log(), expected);
    QCOMPARE(conv.convertToBin(golden("goods.tvr"), path("goods_tvr.bin"), t), ConvFile::Status::BadLines);
}

void TestConvFile::exampleRecord()
{
    TableDescr t = Fixtures::small();
    ConvFile conv;
    QVERIFY(conv.ConvertToBin(golden("small.tab"), path("small_tab.bin"), t));
    QCOMPARE(readFile(path("small_tab.bin")), readFile(golden("small_tab.bin")));
    QCOMPARE(t.recordCount, 1);
}

void TestConvFile::toTxtGolden_data()
{
    QTest::addColumn<LenRule>("rule");
    QTest::addColumn<QString>("expected");
    QTest::newRow("standart") << LenRule::Standart << golden("goods_std.tvr");
    QTest::newRow("minimal") << LenRule::Minimal << golden("goods_min.tvr");
    QTest::newRow("maxlen") << LenRule::Maxlen << golden("goods_max.tvr");
}

void TestConvFile::toTxtGolden()
{
    QFETCH(LenRule, rule);
    QFETCH(QString, expected);
    ConvFile conv;
    QVERIFY(conv.ConvertToTxt(golden("goods_tvr.bin"), path("goods.tvr"), goldenGoods(rule)));
    QCOMPARE(readFile(path("goods.tvr")), readFile(expected));
    QVERIFY(!QFile::exists(path("goods.tvr.old")));
    QVERIFY(log().contains("ConvertToTxt "));
    QVERIFY(log().endsWith("/ConvertToTxt true\r\n"));
}

void TestConvFile::roundTrip_data()
{
    QTest::addColumn<LenRule>("rule");
    QTest::addColumn<int>("reloaded"); // lines of the written text that convert back
    QTest::newRow("standart") << LenRule::Standart << 5;
    // Amounts lose their second decimal under MINIMAL and no longer read as amounts: only the
    // line with 0.05 comes back.
    QTest::newRow("minimal") << LenRule::Minimal << 1;
    QTest::newRow("maxlen") << LenRule::Maxlen << 5;
}

void TestConvFile::roundTrip()
{
    QFETCH(LenRule, rule);
    QFETCH(int, reloaded);
    TableDescr t = goldenGoods(rule);
    ConvFile conv;
    QVERIFY(!conv.ConvertToBin(golden("goods.tvr"), path("a_tvr.bin"), t));
    QVERIFY(conv.ConvertToTxt(path("a_tvr.bin"), path("a.tvr"), t));
    QCOMPARE(conv.ConvertToBin(path("a.tvr"), path("b_tvr.bin"), t), reloaded == 5);
    QCOMPARE(t.recordCount, reloaded);
    // Record 3 (code 100006) has an empty date and time: they are written as "  .  .  " and
    // "  :  ", which the converter trims before copying, so that record alone changes.
    const QByteArray a = readFile(path("a_tvr.bin"));
    const QByteArray b = readFile(path("b_tvr.bin"));
    if (rule == LenRule::Standart) {
        QCOMPARE(b.size(), a.size());
        QCOMPARE(b.left(3 * 58), a.left(3 * 58));
        QCOMPARE(b.mid(4 * 58), a.mid(4 * 58));
        QCOMPARE(b.mid(3 * 58, 48), a.mid(3 * 58, 48));
    }
    // What comes back writes out as the same lines again.
    QVERIFY(conv.ConvertToTxt(path("b_tvr.bin"), path("b.tvr"), t));
    const QList<QByteArray> first = readFile(path("a.tvr")).split('\n');
    const QList<QByteArray> second = readFile(path("b.tvr")).split('\n');
    for (const QByteArray& line : second)
        QVERIFY2(line.startsWith("100006") || first.contains(line), line.constData());
}

void TestConvFile::lineEnds_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QByteArray>>("lines"); // the lines the records must come from

    const QList<QByteArray> abc { "a;1", "b;2", "c;3" };
    QTest::newRow("crlf") << QByteArray("a;1\r\nb;2\r\nc;3\r\n") << abc;
    QTest::newRow("lf") << QByteArray("a;1\nb;2\nc;3\n") << abc;
    QTest::newRow("cr only") << QByteArray("a;1\rb;2\rc;3\r") << abc;
    QTest::newRow("no final line end") << QByteArray("a;1\r\nb;2\nc;3") << abc;
    QTest::newRow("blank lines are records")
        << QByteArray("a;1\r\n\r\n\nc;3") << QList<QByteArray> { "a;1", "", "", "c;3" };
    // Windows text-mode writers turn "\r\n" into "\r\r\n": still one line end, not a blank line.
    QTest::newRow("cr then crlf") << QByteArray("a;1\r\r\nc;3") << QList<QByteArray> { "a;1", "c;3" };
    QTest::newRow("cr run then lf at end") << QByteArray("a;1\r\r\r\n") << QList<QByteArray> { "a;1" };
    QTest::newRow("blank line among cr ends")
        << QByteArray("a;1\r\rc;3\r\r") << QList<QByteArray> { "a;1", "", "c;3", "" };
    QTest::newRow("lone cr before crlf") << QByteArray("a;1\rb;2\r\nc;3") << abc;
    QTest::newRow("nul and odd bytes kept")
        << QByteArray("a\0b;1\n\x98\xff;2", 10) << QList<QByteArray> { QByteArray("a\0b;1", 5), "\x98\xff;2" };
}

void TestConvFile::lineEnds()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<QByteArray>, lines);
    QVERIFY(writeFile(path("p.tab"), text));
    TableDescr t = plain();
    ConvFile conv;
    QVERIFY(conv.ConvertToBin(path("p.tab"), path("p_tab.bin"), t));
    QByteArray expected;
    for (const QByteArray& line : lines)
        expected += plainRecord(line);
    QCOMPARE(readFile(path("p_tab.bin")), expected);
    QCOMPARE(t.recordCount, lines.size());
}

void TestConvFile::crlfAcrossChunks_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<int>("crsBeforeBoundary"); // how many of its "\r" lie in the first chunk

    QTest::newRow("crlf") << QByteArray("\r\n") << 1;
    QTest::newRow("cr cr lf, split after the first cr") << QByteArray("\r\r\n") << 1;
    QTest::newRow("cr cr lf, split before the lf") << QByteArray("\r\r\n") << 2;
}

void TestConvFile::crlfAcrossChunks()
{
    // The file is read a megabyte at a time: put a "\r\n" right across that boundary, where a
    // careless reader would see an extra blank line (a record of its own in this table).
    QFETCH(QByteArray, lineEnd);
    QFETCH(int, crsBeforeBoundary);
    const qsizetype chunk = 1 << 20;
    QByteArray text;
    int n = 0;
    while (text.size() < chunk - 20) {
        text += "x;" + QByteArray::number(n % 10) + "\r\n";
        ++n;
    }
    // The line end's first "\r" lands crsBeforeBoundary bytes before the chunk's end.
    const qsizetype fill = chunk - crsBeforeBoundary - text.size() - 2;
    text += "y;" + QByteArray(fill, '7') + lineEnd + "z;8" + lineEnd;
    QCOMPARE(text.at(chunk - 1), '\r');
    QCOMPARE(text.at(chunk), lineEnd.at(crsBeforeBoundary));
    QVERIFY(writeFile(path("p.tab"), text));
    TableDescr t = plain();
    ConvFile conv;
    QVERIFY(conv.ConvertToBin(path("p.tab"), path("p_tab.bin"), t));
    QCOMPARE(t.recordCount, n + 2);
    const QByteArray bin = readFile(path("p_tab.bin"));
    QCOMPARE(bin.right(16), plainRecord("y;7777") + plainRecord("z;8"));
}

void TestConvFile::hugeLine()
{
    // Lines far longer than the read chunk between short ones; the letter of the third lies beyond
    // the DIGIT field's width, which is cut before the check.
    QByteArray text = "a;1\r\n";
    text += "b;" + QByteArray(3 << 20, '5') + ";tail\r\n";
    text += "c;" + QByteArray(1 << 20, '6') + "X\r\n";
    text += "d;4";
    QVERIFY(writeFile(path("p.tab"), text));
    TableDescr t = plain();
    ConvFile conv;
    QVERIFY(conv.ConvertToBin(path("p.tab"), path("p_tab.bin"), t));
    QCOMPARE(readFile(path("p_tab.bin")),
        plainRecord("a;1") + plainRecord("b;5555") + plainRecord("c;6666") + plainRecord("d;4"));

    // The same long line against a table whose field cannot take it fails and is reported.
    TableDescr numeric = Fixtures::table("TAB", "N", ';', { field("I", FieldType::Integer, 4) });
    QVERIFY(writeFile(path("n.tab"), "1\r\n" + QByteArray(2 << 20, '9') + "\r\n3"));
    QVERIFY(!conv.ConvertToBin(path("n.tab"), path("n_tab.bin"), numeric));
    QCOMPARE(numeric.recordCount, 2);
    QVERIFY(log().contains(cp("строка 2 поле 1 \"999")));
}

void TestConvFile::emptyFiles()
{
    QVERIFY(writeFile(path("e.tab"), QByteArray()));
    QVERIFY(writeFile(path("e_tab.bin"), "old table bytes"));
    TableDescr t = Fixtures::small();
    ConvFile conv;
    QVERIFY(conv.ConvertToBin(path("e.tab"), path("e_tab.bin"), t));
    QVERIFY(QFile::exists(path("e_tab.bin")));
    QCOMPARE(QFileInfo(path("e_tab.bin")).size(), 0);
    QCOMPARE(t.recordCount, 0);

    QVERIFY(conv.ConvertToTxt(path("e_tab.bin"), path("out.tab"), t));
    QVERIFY(QFile::exists(path("out.tab")));
    QCOMPARE(QFileInfo(path("out.tab")).size(), 0);
}

void TestConvFile::missingTextKeepsTable()
{
    QVERIFY(writeFile(path("s_tab.bin"), readFile(golden("small_tab.bin"))));
    TableDescr t = Fixtures::small();
    ConvFile conv;
    QVERIFY(!conv.ConvertToBin(path("missing.tab"), path("s_tab.bin"), t));
    QCOMPARE(readFile(path("s_tab.bin")), readFile(golden("small_tab.bin")));
    // One entry, the operation's name first.
    QVERIFY(log().contains(QByteArray("\r\ntxtf not exist " + fromUi(path("missing.tab")) + " not exist\r\n")));
    QCOMPARE(conv.convertToBin(path("missing.tab"), path("s_tab.bin"), t), ConvFile::Status::FileError);
}

void TestConvFile::unreadableTextKeepsTable()
{
    // A text "file" that exists but cannot be opened (a folder of that name): the old table stays.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("s.tab")));
    QVERIFY(writeFile(path("s_tab.bin"), readFile(golden("small_tab.bin"))));
    TableDescr t = Fixtures::small();
    ConvFile conv;
    QVERIFY(!conv.ConvertToBin(path("s.tab"), path("s_tab.bin"), t));
    QCOMPARE(readFile(path("s_tab.bin")), readFile(golden("small_tab.bin")));
    QCOMPARE(t.recordCount, 1);
    QVERIFY(log().contains(QByteArray("\r\ntxtfOpen " + fromUi(path("s.tab")) + " not open\r\n")));
}

void TestConvFile::failedWriteKeepsTable()
{
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text += "x;" + QByteArray::number(i) + "\r\n";
    QVERIFY(writeFile(path("p.tab"), text));
    QVERIFY(writeFile(path("p_tab.bin"), "old"));
    TableDescr t = plain();
    ConvFile conv;
    const ConvFile::Status status
        = withFileSizeLimit(4096, [&] { return conv.convertToBin(path("p.tab"), path("p_tab.bin"), t); });
    QCOMPARE(status, ConvFile::Status::FileError);
    QCOMPARE(readFile(path("p_tab.bin")), QByteArray("old"));
    QVERIFY(!QFile::exists(path("p_tab.bin.tmp")));
}

void TestConvFile::progress()
{
    TableDescr t = goldenGoods();
    ConvFile conv;
    QSignalSpy spy(&conv, &ConvFile::dataTransferProgress);
    conv.ConvertToBin(golden("goods.tvr"), path("g_tvr.bin"), t);
    const qint64 textSize = QFileInfo(golden("goods.tvr")).size();
    QCOMPARE(spy.size(), 8); // one per line, bad lines too
    QCOMPARE(spy.last().at(0).toLongLong(), textSize);
    QCOMPARE(spy.last().at(1).toLongLong(), textSize);
    for (int i = 1; i < spy.size(); ++i)
        QVERIFY(spy.at(i).at(0).toLongLong() > spy.at(i - 1).at(0).toLongLong());

    spy.clear();
    QVERIFY(conv.ConvertToTxt(path("g_tvr.bin"), path("g.tvr"), t));
    QCOMPARE(spy.size(), 5);
    QCOMPARE(spy.last().at(0).toLongLong(), 5 * 58);
    QCOMPARE(spy.last().at(1).toLongLong(), 5 * 58);
}

void TestConvFile::backupIsPreviousText()
{
    const TableDescr t = goldenGoods();
    ConvFile conv;
    QVERIFY(writeFile(path("g.tvr"), "previous text"));
    QVERIFY(conv.ConvertToTxt(golden("goods_tvr.bin"), path("g.tvr"), t));
    QCOMPARE(readFile(path("g.tvr.old")), QByteArray("previous text"));
    const QByteArray first = readFile(path("g.tvr"));
    QVERIFY(conv.ConvertToTxt(golden("goods_tvr.bin"), path("g.tvr"), goldenGoods(LenRule::Minimal)));
    QCOMPARE(readFile(path("g.tvr.old")), first);
    QCOMPARE(readFile(path("g.tvr")), readFile(golden("goods_min.tvr")));
}

void TestConvFile::toTxtFailures()
{
    const TableDescr t = goldenGoods();
    ConvFile conv;
    QVERIFY(writeFile(path("g.tvr"), "kept"));
    QVERIFY(!conv.ConvertToTxt(path("missing_tvr.bin"), path("g.tvr"), t));
    QCOMPARE(readFile(path("g.tvr")), QByteArray("kept"));
    QVERIFY(!QFile::exists(path("g.tvr.old")));
    QVERIFY(log().contains("binf not exist\r\n"));
    QVERIFY(log().contains(QByteArray(QByteArray("   ") + cp("Нет исходного файла") + "\r\n")));

    // The text cannot be written (its folder is missing).
    QVERIFY(!conv.ConvertToTxt(golden("goods_tvr.bin"), path("none/d.tvr"), t));
    QVERIFY(log().contains(QByteArray(QByteArray("txtfOpen: error\r\n   ") + cp("Результирующий файл не открыт"))));

    // The old text cannot become the backup (a folder with files holds the ".old" name): it is
    // not overwritten without one.
    QVERIFY(writeFile(path("k.tvr"), "only copy"));
    QVERIFY(writeFile(path("k.tvr.old/inside"), "x"));
    QVERIFY(!conv.ConvertToTxt(golden("goods_tvr.bin"), path("k.tvr"), t));
    QCOMPARE(readFile(path("k.tvr")), QByteArray("only copy"));

    // The binary "file" cannot be opened: the old text has become the backup.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("b_tvr.bin")));
    QVERIFY(!conv.ConvertToTxt(path("b_tvr.bin"), path("g.tvr"), t));
    QCOMPARE(readFile(path("g.tvr.old")), QByteArray("kept"));
    QVERIFY(log().contains(QByteArray(QByteArray("binfOpen: error\r\n   ") + cp("Исходный файл не открыт"))));
}

void TestConvFile::partialTailIgnored()
{
    const TableDescr t = goldenGoods();
    QVERIFY(writeFile(path("g_tvr.bin"), readFile(golden("goods_tvr.bin")) + "partial"));
    ConvFile conv;
    QVERIFY(conv.ConvertToTxt(path("g_tvr.bin"), path("g.tvr"), t));
    QCOMPARE(readFile(path("g.tvr")), readFile(golden("goods_std.tvr")));
}

void TestConvFile::checkWritesNothing()
{
    const TableDescr t = goldenGoods();
    ConvFile conv;
    QList<QByteArray> reports;
    conv.setBadLineHandler([&](const QByteArray& line) { reports << line; });
    qint64 good = 0;
    qint64 bad = 0;
    QCOMPARE(conv.checkText(golden("goods.tvr"), t, good, bad), ConvFile::Status::BadLines);
    QCOMPARE(good, 5);
    QCOMPARE(bad, 3);
    QCOMPARE(reports.size(), 3);
    QCOMPARE(reports.first(), cp("строка 3 поле 4 \"12.5\""));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList { QStringLiteral("logortc.txt") });
    QCOMPARE(conv.checkText(golden("small.tab"), Fixtures::small(), good, bad), ConvFile::Status::Ok);
    QCOMPARE(conv.checkText(path("none.tab"), t, good, bad), ConvFile::Status::FileError);
}

QTEST_GUILESS_MAIN(TestConvFile)
#include "tst_convfile.moc"
