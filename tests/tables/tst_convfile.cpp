#include "Codec.h"
#include "ConvFile.h"
#include "FailingDevices.h"
#include "FieldCodec.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
    void overlappingConversionsStayWhole_data();
    void overlappingConversionsStayWhole();
    void textReplacedWhole();
    void sameFileRefused_data();
    void sameFileRefused();
    void overlongLines_data();
    void overlongLines();
    void memoryStaysFlat_data();
    void memoryStaysFlat();

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

void TestConvFile::overlappingConversionsStayWhole_data()
{
    QTest::addColumn<bool>("toText");
    QTest::newRow("to binary") << false;
    QTest::newRow("to text") << true;
}

void TestConvFile::overlappingConversionsStayWhole()
{
    // A second conversion onto the same target runs, whole, while the first is under way (from
    // its first progress report): both finish, and the target is the whole result of the one
    // that finished last, never a mixture.
    QFETCH(bool, toText);
    TableDescr t = plain();
    QByteArray first;
    QByteArray second;
    for (int i = 0; i < 30000; ++i) {
        first += "a;" + QByteArray::number(i % 10000) + "\r\n";
        second += "bb;" + QByteArray::number(9999 - i % 10000) + "\r\n";
    }
    QVERIFY(writeFile(path("first.tab"), first));
    QVERIFY(writeFile(path("second.tab"), second));
    ConvFile prepare;
    QVERIFY(prepare.ConvertToBin(path("first.tab"), path("first_tab.bin"), t));
    QVERIFY(prepare.ConvertToBin(path("second.tab"), path("second_tab.bin"), t));
    // What the first conversion gives when it runs alone.
    const QString expectedFile = toText ? path("expected.tab") : path("first_tab.bin");
    if (toText)
        QVERIFY(prepare.ConvertToTxt(path("first_tab.bin"), expectedFile, t));
    const QString target = toText ? path("out.tab") : path("out_tab.bin");

    ConvFile outer;
    ConvFile inner;
    bool innerResult = false;
    bool innerRan = false;
    connect(&outer, &ConvFile::dataTransferProgress, this, [&] {
        if (innerRan)
            return;
        innerRan = true;
        TableDescr other = plain();
        innerResult = toText ? inner.ConvertToTxt(path("second_tab.bin"), target, other)
                             : inner.ConvertToBin(path("second.tab"), target, other);
    });
    const bool outerResult = toText ? outer.ConvertToTxt(path("first_tab.bin"), target, t)
                                    : outer.ConvertToBin(path("first.tab"), target, t);
    QVERIFY(innerRan);
    QVERIFY(innerResult);
    QVERIFY(outerResult);
    QCOMPARE(readFile(target), readFile(expectedFile));
    // No temporary file is left behind.
    QStringList expected { QStringLiteral("first.tab"), QStringLiteral("first_tab.bin"), QStringLiteral("logortc.txt"),
        QStringLiteral("second.tab"), QStringLiteral("second_tab.bin"), QFileInfo(target).fileName() };
    if (toText)
        expected << QFileInfo(expectedFile).fileName();
    expected.sort();
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files, QDir::Name), expected);
}

void TestConvFile::textReplacedWhole()
{
    // While the new text is being written, the text file is still the previous one: a conversion
    // cut short (a kill, a power cut) never leaves a shortened text in its place.
    const TableDescr t = plain();
    QByteArray text;
    for (int i = 0; i < 200000; ++i)
        text += "t;" + QByteArray::number(i % 1000) + "\r\n";
    QVERIFY(writeFile(path("p.tab"), text));
    ConvFile conv;
    TableDescr table = t;
    QVERIFY(conv.ConvertToBin(path("p.tab"), path("p_tab.bin"), table));
    QVERIFY(writeFile(path("out.tab"), "previous text\r\n"));
    int checks = 0;
    QByteArray seen;
    connect(&conv, &ConvFile::dataTransferProgress, this, [&](qint64 done, qint64 total) {
        // Halfway, when more than one chunk has gone out.
        if (checks == 0 && done * 2 >= total) {
            ++checks;
            seen = readFile(path("out.tab"));
        }
    });
    QVERIFY(conv.ConvertToTxt(path("p_tab.bin"), path("out.tab"), t));
    QCOMPARE(checks, 1);
    QCOMPARE(seen, QByteArray("previous text\r\n"));
    QCOMPARE(readFile(path("out.tab.old")), QByteArray("previous text\r\n"));
    // The new text is the whole table.
    QVERIFY(conv.ConvertToBin(path("out.tab"), path("back_tab.bin"), table));
    QCOMPARE(readFile(path("back_tab.bin")), readFile(path("p_tab.bin")));
}

void TestConvFile::sameFileRefused_data()
{
    QTest::addColumn<QString>("second"); // how the target names the source
    QTest::newRow("same name") << QStringLiteral("same");
    QTest::newRow("another spelling") << QStringLiteral("spelling");
    QTest::newRow("symbolic link") << QStringLiteral("symlink");
    QTest::newRow("hard link") << QStringLiteral("hardlink");
}

void TestConvFile::sameFileRefused()
{
    QFETCH(QString, second);
    const QByteArray table = readFile(golden("small_tab.bin"));
    const QByteArray text = readFile(golden("small.tab"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
    QVERIFY(writeFile(path("s_tab.bin"), table));
    QVERIFY(writeFile(path("s.tab"), text));
    auto other = [&](const char* name) -> QString {
        const QString original = path(name);
        const QString alias = path("alias");
        if (second == QLatin1String("spelling"))
            return m_dir->path() + QStringLiteral("/sub/../") + QString::fromLatin1(name);
        if (second == QLatin1String("symlink"))
            return QFile::link(original, alias) ? alias : QString();
        if (second == QLatin1String("hardlink"))
            return ::link(QFile::encodeName(original).constData(), QFile::encodeName(alias).constData()) == 0
                ? alias
                : QString();
        return original;
    };
    TableDescr t = Fixtures::small();
    ConvFile conv;
    const QString textAlias = other("s.tab");
    QVERIFY(!textAlias.isEmpty());
    QCOMPARE(conv.convertToBin(path("s.tab"), textAlias, t), ConvFile::Status::FileError);
    QCOMPARE(readFile(path("s.tab")), text);
    QFile::remove(path("alias"));
    const QString tableAlias = other("s_tab.bin");
    QVERIFY(!tableAlias.isEmpty());
    QVERIFY(!conv.ConvertToTxt(path("s_tab.bin"), tableAlias, t));
    QCOMPARE(readFile(path("s_tab.bin")), table);
    QVERIFY(!QFile::exists(path("s_tab.bin.old")));
    QVERIFY(!QFile::exists(path("alias.old")));
    QVERIFY(sameFile(path("s_tab.bin"), tableAlias));
    QVERIFY(!sameFile(path("s_tab.bin"), path("s.tab")));
    QVERIFY(!sameFile(path("s_tab.bin"), path("none.tab")));
}

void TestConvFile::overlongLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QByteArray>>("lines"); // the lines the records come from
    QTest::addColumn<QList<QByteArray>>("reports");

    const qsizetype limit = 8 << 20; // a line this long is no longer held whole
    const QByteArray fives = QByteArray(limit + 100, '5');
    const QByteArray echo = cp("\"") + QByteArray(64, '5') + "...\"";
    QTest::newRow("just under the limit") << QByteArray("d;" + QByteArray(limit - 3, '5') + "\r\nb;2")
                                          << QList<QByteArray> { "d;5555", "b;2" } << QList<QByteArray> {};
    QTest::newRow("at the limit") << QByteArray("d;" + QByteArray(limit - 2, '5') + "\r\nb;2")
                                  << QList<QByteArray> { "b;2" } << QList<QByteArray> { cp("строка 1 поле 2 ") + echo };
    QTest::newRow("second item too long, ended by crlf")
        << QByteArray("a;1\r\nd;" + fives + "\r\nb;2\r\n") << QList<QByteArray> { "a;1", "b;2" }
        << QList<QByteArray> { cp("строка 2 поле 2 ") + echo };
    QTest::newRow("first item too long, ended by lone crs")
        << QByteArray(fives + "\r\rb;2") << QList<QByteArray> { "", "b;2" }
        << QList<QByteArray> { cp("строка 1 поле 1 ") + echo };
    QTest::newRow("ended by a run of crs and lf")
        << QByteArray("d;" + fives + "\r\r\r\nb;2") << QList<QByteArray> { "b;2" }
        << QList<QByteArray> { cp("строка 1 поле 2 ") + echo };
    QTest::newRow("bad whole item before the long one")
        << QByteArray("a;X;" + fives + "\nb;2") << QList<QByteArray> { "b;2" }
        << QList<QByteArray> { cp("строка 1 поле 2 \"X\"") };
    QTest::newRow("long item beyond the last field")
        << QByteArray("a;1;" + fives + "\nb;2") << QList<QByteArray> { "a;1", "b;2" } << QList<QByteArray> {};
    QTest::newRow("last line, no line end") << QByteArray("b;2\n;" + fives) << QList<QByteArray> { "b;2" }
                                            << QList<QByteArray> { cp("строка 2 поле 2 ") + echo };
    QTest::newRow("short bad item echoed cut")
        << QByteArray("a;" + QByteArray(100, 'Z') + "\nb;2") << QList<QByteArray> { "b;2" }
        << QList<QByteArray> { cp("строка 1 поле 2 \"") + QByteArray(64, 'Z') + "...\"" };
}

void TestConvFile::overlongLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QList<QByteArray>, reports);
    QVERIFY(writeFile(path("p.tab"), text));
    TableDescr t = plain();
    ConvFile conv;
    QList<QByteArray> seen;
    conv.setBadLineHandler([&](const QByteArray& line) { seen << line; });
    QSignalSpy spy(&conv, &ConvFile::dataTransferProgress);
    QCOMPARE(conv.convertToBin(path("p.tab"), path("p_tab.bin"), t),
        reports.isEmpty() ? ConvFile::Status::Ok : ConvFile::Status::BadLines);
    QByteArray expected;
    for (const QByteArray& line : lines)
        expected += plainRecord(line);
    QCOMPARE(readFile(path("p_tab.bin")), expected);
    QCOMPARE(seen, reports);
    QCOMPARE(spy.last().at(0).toLongLong(), qint64(text.size()));
}

void TestConvFile::memoryStaysFlat_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<char>("fill"); // repeated 256 MB after the head
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<qint64>("good");
    QTest::addColumn<qint64>("bad");

    QTest::newRow("run of cr before the line end") << QByteArray("a;1") << '\r' << QByteArray("\nb;2\n") << 2LL << 0LL;
    QTest::newRow("one endless item") << QByteArray("a;") << '7' << QByteArray("\nb;2\n") << 1LL << 1LL;
}

void TestConvFile::memoryStaysFlat()
{
    // The text comes through a pipe, 256 MB of it, so nothing of that size is ever on disk.
    QFETCH(QByteArray, head);
    QFETCH(char, fill);
    QFETCH(QByteArray, tail);
    QFETCH(qint64, good);
    QFETCH(qint64, bad);
    const QString fifo = path("pipe.tab");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::thread writer([&] {
        int fd = -1;
        // Waits for the reader, but not for ever: a conversion that never opens the pipe fails.
        for (int tries = 0; fd < 0 && tries < 3000; ++tries) {
            fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                QThread::msleep(10);
        }
        if (fd < 0)
            return;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        const QByteArray chunk(1 << 20, fill);
        bool ok = ::write(fd, head.constData(), size_t(head.size())) == head.size();
        for (int i = 0; ok && i < 256; ++i)
            ok = ::write(fd, chunk.constData(), size_t(chunk.size())) == chunk.size();
        if (ok)
            ok = ::write(fd, tail.constData(), size_t(tail.size())) == tail.size();
        ::close(fd);
    });
    rusage before {};
    getrusage(RUSAGE_SELF, &before);
    ConvFile conv;
    qint64 goodLines = 0;
    qint64 badLines = 0;
    const ConvFile::Status status = conv.checkText(fifo, plain(), goodLines, badLines);
    writer.join();
    rusage after {};
    getrusage(RUSAGE_SELF, &after);
    QCOMPARE(status, bad > 0 ? ConvFile::Status::BadLines : ConvFile::Status::Ok);
    QCOMPARE(goodLines, good);
    QCOMPARE(badLines, bad);
    // The peak resident size grew by a few buffers at most (ru_maxrss counts kilobytes).
    QVERIFY2(after.ru_maxrss - before.ru_maxrss < 64 * 1024,
        qPrintable(QStringLiteral("grew by %1 kB").arg(after.ru_maxrss - before.ru_maxrss)));
}

QTEST_GUILESS_MAIN(TestConvFile)
#include "tst_convfile.moc"
