#include "TestUtil.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using TestUtil::readFile;
using TestUtil::writeFile;

namespace {
QString data(const char* name)
{
    return QStringLiteral(ORTOVA_TEST_DATA "/") + QString::fromLatin1(name);
}

using Run = TestUtil::ProgramRun;
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
    void convertOntoItselfIsRefused_data();
    void convertOntoItselfIsRefused();
    void findUnreadableGoods();
    void findNeverCutsKey_data();
    void findNeverCutsKey();
    void reportsCutLongText();
    void checkNamesRulesThatDoNotReadBack();
    void demoTablesReadBack_data();
    void demoTablesReadBack();
    void weight_data();
    void weight();

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
    // The find plan the tool leaves stays in the test's folder, not the user's cache.
    const QString cache = m_dir->filePath(QStringLiteral("cache"));
    return TestUtil::runProgram(QStringLiteral(ORTOVA_TOOL), args, m_dir->path(), [&cache](QProcess& p) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
        p.setProcessEnvironment(env);
    });
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
    for (const char* c : { "check", "to-bin", "to-text", "find", "list", "weight" })
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
        QStringLiteral("строка 3 поле 4 \"12.5\"\nстрока 4 поле 4 \"\"\n"
                       "строка 5 поле 2: длиннее 14 знаков, обрезается\n"
                       "строка 5 поле 3: длиннее 20 знаков, обрезается\n"
                       "строка 7 поле 1 \"10000X\"\n"
                       "Предупреждений: 1\n"
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

void TestOrtovaTool::weight_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("barcode");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err"); // part of what goes to stderr

    const auto s = [](const char* text) { return QString::fromUtf8(text); };
    QTest::newRow("goods barcode") << s("codes_wgt.bin") << s("2204680135792") << 0 << s("2204680000000\n13579\n")
                                   << QString();
    QTest::newRow("no match") << s("codes_wgt.bin") << s("2402468013579") << 1 << QString()
                              << s("Нет подходящего весового кода: 2402468013579");
    QTest::newRow("33 records") << s("many_wgt.bin") << s("2302468013579") << 2 << QString()
                                << s("Слишком много весовых штрихкодов 33");
    QTest::newRow("no file") << s("none_wgt.bin") << s("2302468013579") << 2 << QString()
                             << s("нет файла none_wgt.bin");
}

void TestOrtovaTool::weight()
{
    QFETCH(QString, file);
    QFETCH(QString, barcode);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QVERIFY(writeFile(path("wgt.ini"),
        "[TABLE]\r\nNAME=Vescod\r\nEXTENSION=WGT\r\nPNAME=Vescod\r\nTABCHAR=;\r\n"
        "FIELD=LEN,INTEGER,STANDART,0,2\r\nFIELD=PREFIX,TEXT,MINIMAL,0,15\r\n"
        "FIELD=LAYOUT,TEXT,MINIMAL,0,31\r\nFIELD=SCALE,INTEGER,STANDART,0,1\r\n"));
    QVERIFY(writeFile(path("codes.wgt"), "13;23;2S6A4W1S;0\r\n13;22;7A5WZ1SZ;0\r\n13;21;2S6A1S3W1S;3\r\n"));
    QVERIFY(writeFile(path("many.wgt"), QByteArray("13;23;2S6A4W1S;0\r\n").repeated(33)));
    const QString system = QStringLiteral("--system");
    const QString ini = QStringLiteral("wgt.ini");
    for (const char* name : { "codes", "many" }) {
        const QString base = QString::fromLatin1(name);
        QCOMPARE(tool({ system, ini, QStringLiteral("to-bin"), QStringLiteral("--table"), QStringLiteral("WGT"),
                          base + QStringLiteral(".wgt"), base + QStringLiteral("_wgt.bin") })
                     .exitCode,
            0);
    }
    const Run r = tool({ system, ini, QStringLiteral("weight"), file, barcode });
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, out);
    if (!err.isEmpty())
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
}

void TestOrtovaTool::convertOntoItselfIsRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("alias"); // made a link to the source when not the source itself
    QTest::addColumn<QString>("link"); // "", "symbolic" or "hard"

    QTest::newRow("to-bin, same name") << QStringLiteral("to-bin") << QStringLiteral("GOODS.tvr")
                                       << QStringLiteral("GOODS.tvr") << QString();
    QTest::newRow("to-bin, symbolic link") << QStringLiteral("to-bin") << QStringLiteral("GOODS.tvr")
                                           << QStringLiteral("GOODS_tvr.bin") << QStringLiteral("symbolic");
    QTest::newRow("to-text, same name") << QStringLiteral("to-text") << QStringLiteral("shop/GOODS_tvr.bin")
                                        << QStringLiteral("shop/GOODS_tvr.bin") << QString();
    QTest::newRow("to-text, hard link") << QStringLiteral("to-text") << QStringLiteral("shop/GOODS_tvr.bin")
                                        << QStringLiteral("shop/GOODS.tvr") << QStringLiteral("hard");
}

void TestOrtovaTool::convertOntoItselfIsRefused()
{
    // Converting a file onto itself would replace the text by the table, or move the table away
    // to ".old": nothing is touched.
    QFETCH(QString, command);
    QFETCH(QString, source);
    QFETCH(QString, alias);
    QFETCH(QString, link);
    const QString sourcePath = m_dir->filePath(source);
    const QString aliasPath = m_dir->filePath(alias);
    if (link == QLatin1String("symbolic"))
        QVERIFY(QFile::link(sourcePath, aliasPath));
    else if (link == QLatin1String("hard"))
        QCOMPARE(::link(QFile::encodeName(sourcePath).constData(), QFile::encodeName(aliasPath).constData()), 0);
    const QByteArray before = readFile(sourcePath);
    const QStringList filesBefore = QDir(QFileInfo(sourcePath).path()).entryList(QDir::AllEntries | QDir::System);
    const Run r = tool({ command, QStringLiteral("--table"), QStringLiteral("TVR"), source, alias });
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QStringLiteral("один и тот же файл")), qPrintable(r.err));
    QCOMPARE(readFile(sourcePath), before);
    QCOMPARE(QDir(QFileInfo(sourcePath).path()).entryList(QDir::AllEntries | QDir::System), filesBefore);
}

void TestOrtovaTool::findUnreadableGoods()
{
    // A goods table that opens but cannot be read is an error, not "not found".
    QFile probe(QStringLiteral("/proc/self/mem"));
    if (!probe.open(QIODevice::ReadOnly))
        QSKIP("no /proc/self/mem here");
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("bad")));
    QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), path("bad/GOODS_tvr.bin")));
    const Run r = tool(
        { QStringLiteral("find"), QStringLiteral("--dir"), QStringLiteral("bad"), QStringLiteral("4600000000079") });
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(QStringLiteral("не прочитан")), qPrintable(r.err));
}

void TestOrtovaTool::findNeverCutsKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("exitCode");
    // The barcode field (length 13) holds 14 digits; record 1 has a barcode that fills it.
    QTest::newRow("whole barcode") << QStringLiteral("46000000000246") << 0;
    QTest::newRow("one digit more") << QStringLiteral("460000000002461") << 1;
    QTest::newRow("a thousand digits") << QStringLiteral("46000000000246") + QString(986, QLatin1Char('1')) << 1;
}

void TestOrtovaTool::findNeverCutsKey()
{
    QFETCH(QString, key);
    QFETCH(int, exitCode);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("long")));
    QVERIFY(writeFile(path("long.tvr"),
        "100001;4600000000017;Milk;1.00;1;01.01.25;10:00\r\n100002;46000000000246;Bread;2.50;1;01.01.25;10:00\r\n"));
    QCOMPARE(tool({ QStringLiteral("to-bin"), QStringLiteral("--table"), QStringLiteral("TVR"),
                      QStringLiteral("long.tvr"), QStringLiteral("long/GOODS_tvr.bin") })
                 .exitCode,
        0);
    for (const QString& order : { QStringLiteral("code"), QStringLiteral("bar-code") }) {
        const Run r = tool({ QStringLiteral("find"), QStringLiteral("--dir"), QStringLiteral("long"),
            QStringLiteral("--order"), order, key });
        QCOMPARE(r.exitCode, exitCode);
        if (exitCode == 0)
            QVERIFY(r.out.startsWith(QStringLiteral("1\n100002;46000000000246;Bread")));
        else // only the beginning of the key is echoed
            QCOMPARE(r.err,
                QStringLiteral("Не найдено: %1\n").arg(key.size() > 64 ? key.left(64) + QStringLiteral("...") : key));
    }
}

void TestOrtovaTool::reportsCutLongText()
{
    // One bad amount of a megabyte is shown by its beginning only.
    QVERIFY(writeFile(path("long.tvr"),
        "100001;4600000000017;Milk;" + QByteArray(1 << 20, '9') + ";1;01.01.25;10:00\r\n100002;;Bread;2.50;1;;\r\n"));
    const Run r = tool(
        { QStringLiteral("check"), QStringLiteral("--table"), QStringLiteral("TVR"), QStringLiteral("long.tvr") });
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out,
        QStringLiteral("строка 1 поле 4 \"") + QString(64, QLatin1Char('9'))
            + QStringLiteral("...\"\nСтрок: 2, правильных: 1, с ошибками: 1\n"));
}

void TestOrtovaTool::checkNamesRulesThatDoNotReadBack()
{
    QByteArray ini = readFile(data("tool/OrtSystem.ini"));
    QVERIFY(ini.contains("FIELD=PRICE,SUMMA,STANDART,0,10"));
    ini.replace("FIELD=PRICE,SUMMA,STANDART,0,10", "FIELD=PRICE,SUMMA,MINIMAL,0,10");
    ini.replace("FIELD=CODE,DIGIT,STANDART,0,6", "FIELD=CODE,DIGIT,MAXLEN,0,6");
    ini.replace("FIELD=QUANT,QUANTITY,STANDART,0,10", "FIELD=QUANT,QUANTITY,MINIMAL,0,10");
    QVERIFY(writeFile(path("rules.ini"), ini));
    const Run r = tool({ QStringLiteral("--system"), QStringLiteral("rules.ini"), QStringLiteral("check"),
        QStringLiteral("--table"), QStringLiteral("TVR"), QStringLiteral("GOODS.tvr") });
    // The exit status is the check's own: the file has bad lines.
    QCOMPARE(r.exitCode, 1);
    const QStringList warnings = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings[0].contains(QStringLiteral("поле CODE (DIGIT, MAXLEN)")), qPrintable(warnings[0]));
    QVERIFY2(warnings[1].contains(QStringLiteral("поле PRICE (SUMMA, MINIMAL)")), qPrintable(warnings[1]));
    QVERIFY(r.out.endsWith(QStringLiteral("Строк: 8, правильных: 5, с ошибками: 3\n")));
}

void TestOrtovaTool::demoTablesReadBack_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QByteArray>("line"); // a line of that table, Windows-1251
    QTest::newRow("goods") << QStringLiteral("TVR") << TestUtil::cp("100001;4600000000017;Молоко;5.50;1.500");
    QTest::newRow("receipt") << QStringLiteral("PRH") << TestUtil::cp("100002;4600000000024;Хлеб;1.00;2");
    QTest::newRow("results") << QStringLiteral("RES") << TestUtil::cp("4600000000031;100003;Сыр;12.05;0.125");
    QTest::newRow("weight codes") << QStringLiteral("WGT") << QByteArray("13;22;PPCCCCCWWWWWK;1");
    QTest::newRow("file list") << QStringLiteral("TAB")
                               << TestUtil::cp("Tovar12_TVR.BIN;Товары;1;12;3;01.02.25;10:00;+");
}

void TestOrtovaTool::demoTablesReadBack()
{
    // What the demo's tables write as text, they read again as the same records.
    QFETCH(QString, table);
    QFETCH(QByteArray, line);
    const QString demo = QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtSystem.ini");
    QVERIFY(writeFile(path("in.txt"), line + "\r\n"));
    const QStringList system { QStringLiteral("--system"), demo };
    const Run bin = tool(system
        + QStringList { QStringLiteral("to-bin"), QStringLiteral("--table"), table, QStringLiteral("in.txt"),
            QStringLiteral("t.bin") });
    QCOMPARE(bin.exitCode, 0);
    QCOMPARE(tool(system
                 + QStringList { QStringLiteral("to-text"), QStringLiteral("--table"), table, QStringLiteral("t.bin"),
                     QStringLiteral("out.txt") })
                 .exitCode,
        0);
    const Run check = tool(
        system + QStringList { QStringLiteral("check"), QStringLiteral("--table"), table, QStringLiteral("out.txt") });
    QCOMPARE(check.exitCode, 0);
    QVERIFY2(check.err.isEmpty(), qPrintable(check.err));
    const Run back = tool(system
        + QStringList { QStringLiteral("to-bin"), QStringLiteral("--table"), table, QStringLiteral("out.txt"),
            QStringLiteral("back.bin") });
    QCOMPARE(back.exitCode, 0);
    QCOMPARE(readFile(path("back.bin")), readFile(path("t.bin")));
}

QTEST_GUILESS_MAIN(TestOrtovaTool)
#include "tst_ortovatool.moc"
