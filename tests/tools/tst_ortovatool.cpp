#include "TestUtil.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using TestUtil::readFile;
using TestUtil::writeFile;

namespace {
QString data(const char* name)
{
    return QStringLiteral(ORTOVA_TEST_DATA "/") + QString::fromLatin1(name);
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};
} // namespace

class TestOrtovaTool : public QObject {
    Q_OBJECT

private slots:
    void init();
    void exitCodes_data();
    void exitCodes();
    void help_data();
    void help();
    void checkWritesNothing();
    void toBinSameBytes();
    void toBinKeepsTableOnMissingText();
    void toTextSameBytesWithBackup();
    void findUsesAndKeepsIndex();
    void findReceipt();
    void list();

private:
    Run tool(const QStringList& args) const;
    QString path(const char* name) const { return m_dir->filePath(QString::fromLatin1(name)); }
    QScopedPointer<QTemporaryDir> m_dir;
};

void TestOrtovaTool::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    // The default settings file is the one in the current folder.
    QVERIFY(QFile::copy(data("tool/OrtSystem.ini"), path("OrtSystem.ini")));
    QVERIFY(QFile::copy(data("conv/goods.tvr"), path("GOODS.tvr")));
    QVERIFY(QFile::copy(data("conv/small.tab"), path("small.res")));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("shop")));
    QVERIFY(QFile::copy(data("conv/goods_tvr.bin"), path("shop/GOODS_tvr.bin")));
}

Run TestOrtovaTool::tool(const QStringList& args) const
{
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    p.start(QStringLiteral(ORTOVA_TOOL), args);
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void TestOrtovaTool::exitCodes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err"); // part of what goes to stderr

    const auto s = [](const char* text) { return QString::fromUtf8(text); };
    QTest::newRow("no command") << QStringList {} << 2 << s("не указана команда");
    QTest::newRow("unknown command") << QStringList { s("sort") } << 2 << s("неизвестная команда sort");
    QTest::newRow("unknown option") << QStringList { s("check"), s("--fast") } << 2 << s("Неизвестный параметр --fast");
    QTest::newRow("option without value") << QStringList { s("check"), s("--table") } << 2 << s("Нет значения");
    QTest::newRow("check without table") << QStringList { s("check"), s("GOODS.tvr") } << 2 << s("--table");
    QTest::newRow("check unknown table") << QStringList { s("check"), s("--table"), s("XYZ"), s("GOODS.tvr") } << 2
                                         << s("неизвестная таблица XYZ");
    QTest::newRow("check undescribed table")
        << QStringList { s("check"), s("--table"), s("WGT"), s("GOODS.tvr") } << 2 << s("не описана");
    QTest::newRow("check missing file") << QStringList { s("check"), s("--table"), s("TVR"), s("none.tvr") } << 2
                                        << s("нет файла none.tvr");
    QTest::newRow("check bad lines") << QStringList { s("check"), s("--table"), s("tvr"), s("GOODS.tvr") } << 1
                                     << QString();
    QTest::newRow("check good") << QStringList { s("check"), s("--table"), s("RES"), s("small.res") } << 0 << QString();
    QTest::newRow("settings missing") << QStringList { s("--system"), s("no.ini"), s("check"), s("--table"), s("TVR"),
        s("GOODS.tvr") } << 2 << s("нет файла настроек no.ini");
    QTest::newRow("settings with errors")
        << QStringList { s("check"), s("--system"), data("tool/BadSystem.ini"), s("--table"), s("TVR"), s("GOODS.tvr") }
        << 2 << s("ошибки в файле настроек");
    QTest::newRow("to-bin one file") << QStringList { s("to-bin"), s("--table"), s("TVR"), s("GOODS.tvr") } << 2
                                     << s("to-bin:");
    QTest::newRow("to-text missing binary") << QStringList { s("to-text"), s("--table"), s("TVR"), s("no_tvr.bin"),
        s("out.tvr") } << 2 << s("Нет исходного файла");
    QTest::newRow("find bad order") << QStringList { s("find"), s("--dir"), s("shop"), s("--order"), s("bar"), s("1") }
                                    << 2 << s("порядок поиска");
    QTest::newRow("find no goods file") << QStringList { s("find"), s("--dir"), s("."), s("100001") } << 2
                                        << s("нет файла");
    QTest::newRow("find miss") << QStringList { s("find"), s("--dir"), s("shop"), s("999999") } << 1
                               << s("Не найдено: 999999");
    QTest::newRow("find letter in code") << QStringList { s("find"), s("--dir"), s("shop"), s("12A") } << 1
                                         << s("Не найдено");
    QTest::newRow("list bad kind") << QStringList { s("list"), s("--dir"), s("shop"), s("--kind"), s("5") } << 2
                                   << s("--kind");
    QTest::newRow("list no folder") << QStringList { s("list"), s("--dir"), s("none"), s("--kind"), s("1") } << 2
                                    << s("нет папки none");
}

void TestOrtovaTool::exitCodes()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    const Run r = tool(args);
    QCOMPARE(r.exitCode, exitCode);
    if (!err.isEmpty())
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
}

void TestOrtovaTool::help_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("usage");
    QTest::newRow("tool") << QStringList { QStringLiteral("--help") } << QStringLiteral("ortova-tool [--system");
    for (const char* c : { "check", "to-bin", "to-text", "find", "list" })
        QTest::newRow(c) << QStringList { QString::fromLatin1(c), QStringLiteral("--help") }
                         << QStringLiteral("ortova-tool ") + QString::fromLatin1(c);
}

void TestOrtovaTool::help()
{
    QFETCH(QStringList, args);
    QFETCH(QString, usage);
    // Help needs no settings file.
    QVERIFY(QFile::remove(path("OrtSystem.ini")));
    const Run r = tool(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("Использование: ") + usage));
    QVERIFY(r.err.isEmpty());
}

void TestOrtovaTool::checkWritesNothing()
{
    const QStringList before = QDir(m_dir->path()).entryList(QDir::Files);
    const Run r = tool(
        { QStringLiteral("check"), QStringLiteral("--table"), QStringLiteral("TVR"), QStringLiteral("GOODS.tvr") });
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out,
        QStringLiteral("строка 3 поле 4 \"12.5\"\nстрока 4 поле 4 \"\"\nстрока 7 поле 1 \"10000X\"\n"
                       "Строк: 8, правильных: 5, с ошибками: 3\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), before);
}

void TestOrtovaTool::toBinSameBytes()
{
    QVERIFY(writeFile(path("GOODS_tvr.bin"), "old"));
    const Run r = tool({ QStringLiteral("to-bin"), QStringLiteral("--table"), QStringLiteral("TVR"),
        QStringLiteral("GOODS.tvr"), QStringLiteral("GOODS_tvr.bin") });
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(readFile(path("GOODS_tvr.bin")), readFile(data("conv/goods_tvr.bin")));
    QVERIFY(r.out.endsWith(QStringLiteral("Записей: 5\n")));

    const Run good = tool({ QStringLiteral("to-bin"), QStringLiteral("--table"), QStringLiteral("RES"),
        QStringLiteral("small.res"), QStringLiteral("small_res.bin") });
    QCOMPARE(good.exitCode, 0);
    QCOMPARE(readFile(path("small_res.bin")), readFile(data("conv/small_tab.bin")));
}

void TestOrtovaTool::toBinKeepsTableOnMissingText()
{
    QVERIFY(writeFile(path("GOODS_tvr.bin"), "old"));
    const Run r = tool({ QStringLiteral("to-bin"), QStringLiteral("--table"), QStringLiteral("TVR"),
        QStringLiteral("none.tvr"), QStringLiteral("GOODS_tvr.bin") });
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(readFile(path("GOODS_tvr.bin")), QByteArray("old"));
}

void TestOrtovaTool::toTextSameBytesWithBackup()
{
    QVERIFY(writeFile(path("out.tvr"), "previous"));
    const QStringList args { QStringLiteral("to-text"), QStringLiteral("--table"), QStringLiteral("TVR"),
        QStringLiteral("shop/GOODS_tvr.bin"), QStringLiteral("out.tvr") };
    const Run r = tool(args);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readFile(path("out.tvr")), readFile(data("conv/goods_std.tvr")));
    QCOMPARE(readFile(path("out.tvr.old")), QByteArray("previous"));
    QCOMPARE(tool(args).exitCode, 0);
    QCOMPARE(readFile(path("out.tvr.old")), readFile(data("conv/goods_std.tvr")));
}

void TestOrtovaTool::findUsesAndKeepsIndex()
{
    const QByteArray goods = readFile(data("conv/goods_tvr.bin"));
    const QStringList byBar { QStringLiteral("find"), QStringLiteral("--dir"), QStringLiteral("shop"),
        QStringLiteral("4600000000079") };
    Run r = tool(byBar);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("4\n100008;4600000000079;Last                ;1.00;1.024;01.01.25;10:00\n"));
    // The barcode index now holds the BAR column (offset 6, width 14) of every record.
    QByteArray column;
    for (int i = 0; i < 5; ++i)
        column += goods.mid(i * 58 + 6, 14);
    QCOMPARE(readFile(path("shop/Bar.ndx")), column);

    // A code builds Code.ndx; then a barcode through a stale Bar.ndx still finds its record.
    QVERIFY(writeFile(path("shop/Bar.ndx"), QByteArray(14, '9')));
    r = tool({ QStringLiteral("find"), QStringLiteral("--dir"), QStringLiteral("shop"), QStringLiteral("--order"),
        QStringLiteral("code-bar"), QStringLiteral("100002") });
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("1\n100002;")));
    QVERIFY(QFile::exists(path("shop/Code.ndx")));
    r = tool({ QStringLiteral("find"), QStringLiteral("--dir"), QStringLiteral("shop"), QStringLiteral("--order"),
        QStringLiteral("bar-code"), QStringLiteral("4600000000017") });
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("0\n100001;4600000000017;Молоко 3,2%")));
    // The stale index was rebuilt by that lookup.
    QCOMPARE(readFile(path("shop/Bar.ndx")), column);
}

void TestOrtovaTool::findReceipt()
{
    QVERIFY(writeFile(path("shop/DOC.prh"), "4600000000001;11111;1.5\r\n4600000000002;22222;2\r\n"));
    QCOMPARE(tool({ QStringLiteral("to-bin"), QStringLiteral("--table"), QStringLiteral("PRH"),
                      QStringLiteral("shop/DOC.prh"), QStringLiteral("shop/DOC_prh.bin") })
                 .exitCode,
        0);
    const Run r = tool({ QStringLiteral("find"), QStringLiteral("--dir"), QStringLiteral("shop"),
        QStringLiteral("--receipt"), QStringLiteral("22222") });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("1\n4600000000002;22222;2\n"));
    QVERIFY(!QFile::exists(path("shop/Bar.ndx")));
    QVERIFY(!QFile::exists(path("shop/Code.ndx")));
}

void TestOrtovaTool::list()
{
    QVERIFY(writeFile(path("shop/GOODS12_TVR.BIN"), QByteArray(58 * 3, 'x')));
    QVERIFY(writeFile(path("shop/GOODS12_TVR.chg"), QByteArray()));
    const QStringList args { QStringLiteral("list"), QStringLiteral("--dir"), QStringLiteral("shop"),
        QStringLiteral("--kind"), QStringLiteral("1") };
    Run r = tool(args);
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("GOODS12_TVR.BIN;Товары;1;12;3;")));
    QVERIFY(lines[0].endsWith(QLatin1String("; ")));
    QVERIFY(lines[1].startsWith(QStringLiteral("GOODS_tvr.bin;Товары;1;Б/Н;5;")));
    r = tool(args + QStringList { QStringLiteral("--changed") });
    QVERIFY(r.out.split(QLatin1Char('\n')).first().endsWith(QLatin1String(";+")));
    QCOMPARE(tool({ QStringLiteral("list"), QStringLiteral("--dir"), QStringLiteral("shop"), QStringLiteral("--kind"),
                      QStringLiteral("2") })
                 .out,
        QString());
}

QTEST_GUILESS_MAIN(TestOrtovaTool)
#include "tst_ortovatool.moc"
