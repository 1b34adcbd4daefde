#include "FileList.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableFixtures.h"
#include "TestUtil.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using Fixtures::field;
using TestUtil::cp;
using TestUtil::readFile;
using TestUtil::writeFile;

namespace {
// The auxiliary table describing the eight list items.
TableDescr tabTable()
{
    return Fixtures::table("TAB", "LIST", ';',
        { field("NAME", FieldType::Text, 40), field("WORD", FieldType::Text, 12), field("TYPE", FieldType::Integer, 4),
            field("NUMBER", FieldType::Text, 10), field("COUNT", FieldType::Integer, 9),
            field("DATE", FieldType::Date, 8), field("TIME", FieldType::Time, 5), field("FLAG", FieldType::Text, 1) });
}

const QDateTime Stamp(QDate(2026, 3, 7), QTime(14, 5));

bool makeFile(const QString& path, int size)
{
    if (!writeFile(path, QByteArray(size, 'r')))
        return false;
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(Stamp, QFileDevice::FileModificationTime);
}

struct Box {
    int icon;
    QString title;
    QString text;
};
} // namespace

class TestFileList : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void kinds();
    void lines_data();
    void lines();
    void changeFlag_data();
    void changeFlag();
    void createThenAdd();
    void workFolderList();
    void emptyFolder();
    void copyFile_data();
    void copyFile();
    void suffix_data();
    void suffix();
    void folderCheck_data();
    void folderCheck();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QString path(const char* name) const { return m_dir->filePath(QString::fromUtf8(name)); }
};

void TestFileList::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    TestUtil::openRunLogIn(m_dir->path());
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("in")));
}

void TestFileList::cleanup()
{
    RunLog::instance().close();
}

void TestFileList::kinds()
{
    QCOMPARE(docKindBinEnding(DocKind::Goods), QByteArray("_TVR.BIN"));
    QCOMPARE(docKindBinEnding(DocKind::WeightCodes), QByteArray("_WGT.BIN"));
    QCOMPARE(fileListWord(2), cp("Приход"));
    QCOMPARE(fileListWord(3), cp("Остатки"));
    QCOMPARE(fileListWord(4), cp("Весовые ШК"));
    QVERIFY(docKindBinEnding(static_cast<DocKind>(0)).isEmpty());
    QVERIFY(fileListWord(5).isEmpty());
}

void TestFileList::lines_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("line"); // empty: not listed

    const QByteArray tail = ";07.03.26;14:05; \r\n";
    QTest::newRow("no number") << QStringLiteral("GOODS_TVR.BIN") << 128
                               << QByteArray(QByteArray("GOODS_TVR.BIN;") + cp("Товары;1;Б/Н;2") + tail);
    QTest::newRow("number") << QStringLiteral("GOODS12_TVR.BIN") << 192
                            << QByteArray(QByteArray("GOODS12_TVR.BIN;") + cp("Товары;1;12;3") + tail);
    QTest::newRow("lower case") << QStringLiteral("goods7_tvr.bin") << 64
                                << QByteArray(QByteArray("goods7_tvr.bin;") + cp("Товары;1;7;1") + tail);
    QTest::newRow("other name, number after the name's length") << QStringLiteral(
        "SHOP0042_tvr.bin") << 100 << QByteArray(QByteArray("SHOP0042_tvr.bin;") + cp("Товары;1;042;1") + tail);
    QTest::newRow("cyrillic name") << QStringLiteral("Склад3_TVR.BIN") << 0
                                   << QByteArray(cp("Склад3_TVR.BIN;Товары;1;3;0") + tail);
    QTest::newRow("shorter than the working name")
        << QStringLiteral("G_TVR.BIN") << 64 << QByteArray(QByteArray("G_TVR.BIN;") + cp("Товары;1;Б/Н;1") + tail);
    QTest::newRow("other kind") << QStringLiteral("GOODS_PRH.BIN") << 64 << QByteArray();
    QTest::newRow("text form") << QStringLiteral("GOODS.tvr") << 64 << QByteArray();
    QTest::newRow("ending inside the name") << QStringLiteral("GOODS_TVR.BIN.old") << 64 << QByteArray();
}

void TestFileList::lines()
{
    QFETCH(QString, file);
    QFETCH(int, size);
    QFETCH(QByteArray, line);
    QVERIFY(makeFile(m_dir->filePath(QStringLiteral("in/")) + file, size));
    // A folder with a matching name is not a file and never listed.
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("in/X_TVR.BIN")));
    QCOMPARE(fileListLines(path("in"), tabTable(), DocKind::Goods, "GOODS", 64, true), line);
}

void TestFileList::changeFlag_data()
{
    QTest::addColumn<bool>("enCaseChanged");
    QTest::addColumn<bool>("marker");
    QTest::addColumn<char>("flag");
    QTest::newRow("on, marked") << true << true << '+';
    QTest::newRow("on, unmarked") << true << false << ' ';
    QTest::newRow("off, marked") << false << true << ' ';
}

void TestFileList::changeFlag()
{
    QFETCH(bool, enCaseChanged);
    QFETCH(bool, marker);
    QFETCH(char, flag);
    QVERIFY(makeFile(path("in/OST5_res.bin"), 40));
    if (marker)
        touchChangeMarker(path("in/OST5_res.bin"));
    const QByteArray lines = fileListLines(path("in"), tabTable(), DocKind::Results, "OST", 20, enCaseChanged);
    QCOMPARE(lines, QByteArray(QByteArray("OST5_res.bin;") + cp("Остатки;3;5;2;07.03.26;14:05;") + flag + "\r\n"));
}

void TestFileList::createThenAdd()
{
    QVERIFY(makeFile(path("in/G1_TVR.BIN"), 64));
    QVERIFY(makeFile(path("in/G2_TVR.BIN"), 128));
    QVERIFY(makeFile(path("in/D9_PRH.BIN"), 30));
    TableDescr tab = tabTable();
    const QString text = path("LIST.tab");
    const QString bin = path("LIST_tab.bin");
    QVERIFY(writeFile(text, "old list\r\n"));
    QVERIFY(CreFileListDir(path("in"), text, bin, tab, DocKind::Goods, "G", 64, false));
    QCOMPARE(tab.recordCount, 2);
    QVERIFY(AddFileListDir(path("in"), text, bin, tab, DocKind::Receipt, "D", 10, false));
    QCOMPARE(tab.recordCount, 3);
    QCOMPARE(readFile(text),
        QByteArray("G1_TVR.BIN;") + cp("Товары;1;1;1;07.03.26;14:05; \r\n") + "G2_TVR.BIN;"
            + cp("Товары;1;2;2;07.03.26;14:05; \r\n") + "D9_PRH.BIN;" + cp("Приход;2;9;3;07.03.26;14:05; \r\n"));
    QCOMPARE(recordCountOf(bin, tab), 3);
    // Upper- and lower-case names are listed in the folder's order, which ignores case.
    QVERIFY(makeFile(path("in/B3_TVR.BIN"), 64));
    QVERIFY(makeFile(path("in/a4_tvr.bin"), 64));
    QVERIFY(CreFileListDir(path("in"), text, bin, tab, DocKind::Goods, "G", 64, false));
    QList<QByteArray> names;
    for (const QByteArray& line : readFile(text).split('\n'))
        names << line.left(line.indexOf(';'));
    QCOMPARE(names, QList<QByteArray>({ "a4_tvr.bin", "B3_TVR.BIN", "G1_TVR.BIN", "G2_TVR.BIN", "" }));
    // Creating again starts the list afresh.
    QVERIFY(CreFileListDir(path("in"), text, bin, tab, DocKind::Receipt, "D", 10, false));
    QCOMPARE(tab.recordCount, 1);
    QCOMPARE(recordCountOf(bin, tab), 1);
}

void TestFileList::workFolderList()
{
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(path("in")));
    QVERIFY(makeFile(path("in/W_WGT.BIN"), 24));
    TableDescr tab = tabTable();
    const bool created = CreFileList(path("LIST.tab"), path("LIST_tab.bin"), tab, DocKind::WeightCodes, "W", 12, true);
    const bool added = AddFileList(path("LIST.tab"), path("LIST_tab.bin"), tab, DocKind::Goods, "G", 64, true);
    QDir::setCurrent(before);
    QVERIFY(created);
    QVERIFY(added);
    QCOMPARE(readFile(path("LIST.tab")),
        QByteArray(QByteArray("W_WGT.BIN;") + cp("Весовые ШК;4;Б/Н;2;07.03.26;14:05; \r\n")));
    QCOMPARE(tab.recordCount, 1);
}

void TestFileList::emptyFolder()
{
    TableDescr tab = tabTable();
    QVERIFY(CreFileListDir(path("in"), path("LIST.tab"), path("LIST_tab.bin"), tab, DocKind::Goods, "G", 64, true));
    QVERIFY(QFile::exists(path("LIST.tab")));
    QCOMPARE(readFile(path("LIST.tab")), QByteArray());
    QVERIFY(QFile::exists(path("LIST_tab.bin")));
    QCOMPARE(tab.recordCount, 0);
    QVERIFY(!CreFileListDir(
        path("in"), path("LIST.tab"), path("LIST_tab.bin"), tab, static_cast<DocKind>(7), "G", 64, true));
}

void TestFileList::copyFile_data()
{
    QTest::addColumn<QByteArray>("name"); // the line's NAME
    QTest::addColumn<QByteArray>("number");
    QTest::addColumn<QByteArray>("file"); // empty: names no file of the folder
    QTest::newRow("listed") << QByteArray("Ostatki09_RES.BIN") << QByteArray("09") << QByteArray("Ostatki09_RES.BIN");
    QTest::newRow("added by the operator") << QByteArray() << cp("Ж7") << cp("OstatkiЖ7_RES.BIN");
    QTest::newRow("added, number a path") << QByteArray() << QByteArray("../x") << QByteArray();
    QTest::newRow("added, no number") << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("a path") << QByteArray("../Ostatki_RES.BIN") << QByteArray("1") << QByteArray();
    QTest::newRow("a path, backslash") << QByteArray("..\\Ostatki_RES.BIN") << QByteArray("1") << QByteArray();
}

void TestFileList::copyFile()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, number);
    QFETCH(QByteArray, file);
    QCOMPARE(copyFileName(CopyLine { name, number }, DocKind::Results, "Ostatki"), file);
}

void TestFileList::suffix_data()
{
    QTest::addColumn<QByteArray>("pname");
    QTest::addColumn<QByteArray>("suffix");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("add") << cp("Товары") << QByteArray("12") << cp("Товары 12");
    QTest::newRow("replace") << cp("Товары 5") << QByteArray("7") << cp("Товары 7");
    QTest::newRow("remove") << cp("Товары 5") << QByteArray() << cp("Товары");
    QTest::newRow("keeps only the first word") << cp("Справочник товаров") << cp("N 3") << cp("Справочник N 3");
    QTest::newRow("cut to the buffer") << QByteArray(30, 'a') << QByteArray("123")
                                       << QByteArray(QByteArray(30, 'a') + ' ');
}

void TestFileList::suffix()
{
    QFETCH(QByteArray, pname);
    QFETCH(QByteArray, suffix);
    QFETCH(QByteArray, result);
    TableDescr t = Fixtures::goods();
    t.pname = pname;
    setPnameSuffix(t, suffix);
    QCOMPARE(t.pname, result);
    if (result.size() < DescrNameMax)
        QCOMPARE(pnameSuffix(t), suffix);
}

void TestFileList::folderCheck_data()
{
    QTest::addColumn<QString>("folder"); // inside the test folder
    QTest::addColumn<int>("answer"); // -1: no question expected
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("box"); // text of the box shown, if any

    QTest::newRow("exists") << QStringLiteral("in") << -1 << true << QString();
    QTest::newRow("create") << QStringLiteral("new/deep/folder") << 0 << true << QString();
    QTest::newRow("backslashes") << QStringLiteral("win\\style") << 0 << true << QString();
    QTest::newRow("leave") << QStringLiteral("never") << 1 << false << QString();
    QTest::newRow("wrong name") << QStringLiteral("a|b") << -1 << false
                                << QStringLiteral("Папка %1.\r\nНеправильное имя.");
    QTest::newRow("drive form") << QStringLiteral("C:\\work") << -1 << false
                                << QStringLiteral("Папка %1.\r\nНеправильное имя.");
    QTest::newRow("under a file") << QStringLiteral("file/sub") << 0 << false << QStringLiteral("Папка не создана");
}

void TestFileList::folderCheck()
{
    QFETCH(QString, folder);
    QFETCH(int, answer);
    QFETCH(bool, result);
    QFETCH(QString, box);
    QVERIFY(writeFile(path("file"), "x"));
    const QString full = m_dir->path() + QLatin1Char('/') + folder;
    QList<Box> shown;
    int asked = 0;
    AskFn ask = [&](const QString& title, const QString& text, const QString& first, const QString& second) {
        ++asked;
        [&] {
            QCOMPARE(title, QStringLiteral("Ввод"));
            QCOMPARE(text, QStringLiteral("Нет рабочей папки"));
            QCOMPARE(first, QStringLiteral("Создать"));
            QCOMPARE(second, QStringLiteral("Выйти"));
        }();
        return answer;
    };
    ShowFn show = [&](int icon, const QString& title, const QString& text) { shown.append({ icon, title, text }); };

    QCOMPARE(checkFolder(full, QStringLiteral("Нет рабочей папки"), QStringLiteral("Ввод"), ask, show), result);
    QCOMPARE(asked, answer < 0 ? 0 : 1);
    if (box.isEmpty()) {
        QVERIFY(shown.isEmpty());
    } else {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, box.contains(QLatin1String("%1")) ? box.arg(full) : box);
        QCOMPARE(shown.first().title, QStringLiteral("Ввод"));
    }
    QString native = full;
    native.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QCOMPARE(QFileInfo(native).isDir(), result);
}

QTEST_GUILESS_MAIN(TestFileList)
#include "tst_filelist.moc"
