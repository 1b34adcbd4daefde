#include "TestUtil.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

using TestUtil::cp;
using TestUtil::readFile;
using TestUtil::writeFile;

namespace {
using Run = TestUtil::ProgramRun;

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

const QByteArray Header = "CODE;BAR;NAME;PRICE;QUANT;DAY;TM\n";

// A CSV file of the goods table with its header row.
QByteArray withHeader(const QByteArray& rows)
{
    return Header + rows;
}
} // namespace

class TestOfficeCsv : public QObject {
    Q_OBJECT

private slots:
    void init();
    void importRoundTrip_data();
    void importRoundTrip();
    void badInput_data();
    void badInput();
    void lastOfManyRowsBad();
    void hugeFileStaysFlat_data();
    void hugeFileStaysFlat();
    void exportReadsBack_data();
    void exportReadsBack();
    void exportTitles();
    void warnsBeforeCut_data();
    void warnsBeforeCut();

private:
    Run run(const QString& program, const QStringList& args, bool limitMemory = false) const;
    Run tool(const QStringList& args, bool limitMemory = false) const
    {
        return run(QStringLiteral(ORTOVA_TOOL), args, limitMemory);
    }
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QScopedPointer<QTemporaryDir> m_dir;
};

void TestOfficeCsv::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    QVERIFY(QFile::copy(QStringLiteral(ORTOVA_TEST_DATA "/tool/OrtSystem.ini"), path(QStringLiteral("OrtSystem.ini"))));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("shop")));
}

Run TestOfficeCsv::run(const QString& program, const QStringList& args, bool limitMemory) const
{
    const auto prepare = [limitMemory](QProcess& p) {
        // A safety net: a reader that held a whole file would fail here instead of filling the machine.
        if (limitMemory)
            p.setChildProcessModifier([] {
                const rlimit limit { rlim_t(1) << 30, rlim_t(1) << 30 };
                ::setrlimit(RLIMIT_AS, &limit);
            });
    };
    return TestUtil::runProgram(program, args, m_dir->path(), prepare, 120000);
}

void TestOfficeCsv::importRoundTrip_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("text"); // the text file written, Windows-1251
    QTest::addColumn<QString>("key"); // looked up in the table converted from that text
    QTest::addColumn<QString>("found");

    QTest::newRow("BOM, semicolons, decimal commas")
        << QByteArray("\xEF\xBB\xBF\"CODE\";BAR;NAME;PRICE;QUANT;DAY;TM\r\n"
                      "100001;4600000000017;\"Молоко 3,2%\";55,5;1,5;01.02.2025;9:05\r\n"
                      "100002;4600000000024;Хлеб;1\xC2\xA0"
                      "234,50;2;2025-03-04;23:59:00\r\n")
        << QStringList { s("--header") }
        << cp("100001;4600000000017;Молоко 3,2%;55.50;1.5;01.02.25;09:05\r\n"
              "100002;4600000000024;Хлеб;1234.50;2;04.03.25;23:59\r\n")
        << s("4600000000024") << s("1\n100002;4600000000024;Хлеб                ;1234.50;2.000;04.03.25;23:59\n");
    QTest::newRow("commas, quoted names, columns by header name")
        << QByteArray("Артикул,Штрихкод,Наименование,Цена,Остаток,Примечание\n"
                      "100003,4600000000031,\"Сыр \"\"Российский\"\", 45%\",412.00,0.125,\"склад 1, полка 2\"\n")
        << QStringList { s("--header"), s("--map"),
               s("CODE=Артикул, BAR=штрихкод, NAME=Наименование, PRICE=Цена, QUANT=Остаток") }
        << cp("100003;4600000000031;Сыр \"Российский\", 45%;412.00;0.125;;\r\n") << s("100003")
        << s("0\n100003;4600000000031;Сыр \"Российский\", 45;412.00;0.125;  .  .  ;  :  \n");
    QTest::newRow("Windows-1251, columns by number")
        << cp("x;Сахар;4600000000048;100004;89,9;2\r\n")
        << QStringList { s("--encoding"), s("windows-1251"), s("--map"), s("CODE=4,BAR=3,NAME=2,PRICE=5,QUANT=6") }
        << cp("100004;4600000000048;Сахар;89.90;2;;\r\n") << s("100004")
        << s("0\n100004;4600000000048;Сахар               ;89.90;2.000;  .  .  ;  :  \n");
    QTest::newRow("tabs, blank rows, columns in field order")
        << QByteArray("\n100005\t4600000000055\tМасло\t120\t0,5\t1.2.25\t7:30\n\n\t\t\t\t\t\t\n")
        << QStringList { s("--delimiter"), s("tab") } << cp("100005;4600000000055;Масло;120.00;0.5;01.02.25;07:30\r\n")
        << s("4600000000055") << s("0\n100005;4600000000055;Масло               ;120.00;0.500;01.02.25;07:30\n");
}

void TestOfficeCsv::importRoundTrip()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, text);
    QFETCH(QString, key);
    QFETCH(QString, found);
    QVERIFY(writeFile(path(QStringLiteral("in.csv")), csv));
    const Run r = tool(
        QStringList { s("import"), s("--table"), s("TVR") } + options + QStringList { s("in.csv"), s("out.tvr") });
    QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
    QCOMPARE(readFile(path(QStringLiteral("out.tvr"))), text);
    // The terminal's own conversion takes the file, and data entry finds the goods in it.
    QCOMPARE(tool({ s("to-bin"), s("--table"), s("TVR"), s("out.tvr"), s("shop/GOODS_tvr.bin") }).exitCode, 0);
    const Run f = tool({ s("find"), s("--dir"), s("shop"), s("--order"), s("bar-code"), key });
    QCOMPARE(f.exitCode, 0);
    QCOMPARE(f.out, found);
}

void TestOfficeCsv::badInput_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("reports"); // each in what the tool prints

    const QString in = s("in.csv");
    const QStringList header { s("--header") };
    const QByteArray milk = "100001;4600000000017;Milk;1;1;;\n";
    QTest::newRow("quote left open") << in << withHeader(milk + "100002;4600000000024;\"Bread;2;1;;\n") << header << 1
                                     << QStringList { s("строка 3 поле 3: кавычка не закрыта до конца файла"),
                                            s("Строк: 2, правильных: 1, с ошибками: 1") };
    QTest::newRow("quote inside a bare value") << in << withHeader("100001;4600000000017;Сок \"Добрый\";1;1;;\n")
                                               << header << 1 << QStringList { s("строка 2 поле 3: неверные кавычки") };
    QTest::newRow("missing column") << in << withHeader("100001;4600000000017;Milk\n") << header << 1
                                    << QStringList { s("строка 2 поле 4: нет столбца для поля PRICE (SUMMA)") };
    QTest::newRow("header names an unknown field")
        << in << QByteArray("CODE;BAR;NAME;PRICE;QUANT;DATE;TM\n" + milk) << header << 2
        << QStringList { s("столбец 6 заголовка «DATE»: в таблице TVR нет такого поля") };
    QTest::newRow("header lacks fields that cannot be empty")
        << in << QByteArray("CODE;BAR;NAME\n1;2;x\n") << header << 2
        << QStringList { s("нет столбца для полей PRICE (SUMMA), QUANT (QUANTITY)") };
    QTest::newRow("map names an unknown field") << in << milk << QStringList { s("--map"), s("CODE=1,COST=2") } << 2
                                                << QStringList { s("--map: в таблице TVR нет поля COST") };
    QTest::newRow("map names a column the header lacks")
        << in << withHeader(milk) << QStringList { s("--header"), s("--map"), s("CODE=Код,PRICE=4,QUANT=5") } << 2
        << QStringList { s("в строке заголовка нет столбца «Код»") };
    QTest::newRow("letter outside Windows-1251")
        << in << withHeader("100001;4600000000017;Käse;1;1;;\n") << header << 1
        << QStringList { s("строка 2 поле 3 \"Käse\": NAME - знака «ä» (U+00E4) нет в кодировке") };
    QTest::newRow("character beyond 16 bits") << in << withHeader("100001;4600000000017;Сыр \xF0\x9F\xA7\x80;1;1;;\n")
                                              << header << 1 << QStringList { s("«\xF0\x9F\xA7\x80» (U+1F9C0)") };
    QTest::newRow("not UTF-8") << in << withHeader(cp("100001;4600000000017;Сыр;1;1;;\n")) << header << 1
                               << QStringList { s("строка 2 поле 3"), s("не текст UTF-8") };
    QTest::newRow("amount with three decimals")
        << in << withHeader("100001;4600000000017;Milk;1,234;1;;\n") << header << 1
        << QStringList { s("строка 2 поле 4 \"1,234\": PRICE - не сумма") };
    QTest::newRow("impossible date") << in << withHeader("100001;4600000000017;Milk;1;1;31.13.2025;\n") << header << 1
                                     << QStringList { s("строка 2 поле 6 \"31.13.2025\": DAY - не дата") };
    QTest::newRow("the terminal's separator in a name")
        << in << QByteArray("100001,4600000000017,\"a;b\",1,1,,\n") << QStringList() << 1
        << QStringList { s("строка 1 поле 3 \"a;b\": NAME - знак «;» разделяет поля") };
    QTest::newRow("barcode longer than its field")
        << in << withHeader("100001;460000000001711;Milk;1;1;;\n") << header << 1
        << QStringList { s("BAR - длиннее поля: цифр 15, а помещается 14") };
    QTest::newRow("rows as a spreadsheet numbers them")
        << in << withHeader("\n100001;4600000000017;\"Milk\n1 l\";1;1;;\r\n100002;4600000000024;Bread;x;1;;\n")
        << header << 1
        << QStringList { s("строка 3 поле 3 \"Milk\\n1 l\": NAME - перевод строки"), s("строка 4 поле 4 \"x\""),
               s("с ошибками: 2") };
    QTest::newRow("delimiter of two characters")
        << in << milk << QStringList { s("--delimiter"), s(";;") } << 2 << QStringList { s("--delimiter") };
    QTest::newRow("unknown encoding") << in << milk << QStringList { s("--encoding"), s("koi8-r") } << 2
                                      << QStringList { s("--encoding") };
    QTest::newRow("UTF-8 mark with windows-1251")
        << in << QByteArray("\xEF\xBB\xBF" + withHeader(milk))
        << QStringList { s("--header"), s("--encoding"), s("windows-1251") } << 2 << QStringList { s("меткой UTF-8") };
    QTest::newRow("no header row") << in << QByteArray() << header << 2 << QStringList { s("нет строки заголовка") };
    QTest::newRow("no CSV file") << s("none.csv") << milk << QStringList() << 2
                                 << QStringList { s("нет файла none.csv") };
    QTest::newRow("CSV is the text file")
        << s("out.tvr") << milk << QStringList() << 2 << QStringList { s("один и тот же файл") };
}

void TestOfficeCsv::badInput()
{
    QFETCH(QString, source);
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QStringList, reports);
    QVERIFY(writeFile(path(QStringLiteral("in.csv")), csv));
    QVERIFY(writeFile(path(QStringLiteral("out.tvr")), "previous"));
    const QStringList before = QDir(m_dir->path()).entryList(QDir::AllEntries);
    const Run r
        = tool(QStringList { s("import"), s("--table"), s("TVR") } + options + QStringList { source, s("out.tvr") });
    QCOMPARE(r.exitCode, exitCode);
    const QString printed = r.out + r.err;
    for (const QString& report : reports)
        QVERIFY2(printed.contains(report), qPrintable(printed));
    // Nothing half-written: the old text stays and no temporary is left.
    QCOMPARE(readFile(path(QStringLiteral("out.tvr"))), QByteArray("previous"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries), before);
}

void TestOfficeCsv::lastOfManyRowsBad()
{
    QByteArray csv = "\xEF\xBB\xBF" + Header;
    for (int i = 0; i < 100000; ++i)
        csv += QByteArray::number(100000 + i) + ';' + QByteArray::number(4600000000000LL + i) + ";\"Товар "
            + QByteArray::number(i) + ", шт\";" + QByteArray::number(i % 1000) + ",50;1,5;01.02.2025;10:00\r\n";
    const QByteArray good = csv;
    csv += "200000;4600000200000;Last;1,234;1;;\r\n";
    QVERIFY(writeFile(path(QStringLiteral("in.csv")), csv));
    QVERIFY(writeFile(path(QStringLiteral("out.tvr")), "previous"));
    const QStringList args { s("import"), s("--table"), s("TVR"), s("--header"), s("in.csv"), s("out.tvr") };
    Run r = tool(args);
    QCOMPARE(r.exitCode, 1);
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(s("строка 100002 поле 4 \"1,234\"")), qPrintable(lines[0]));
    QCOMPARE(lines[1], s("Строк: 100001, правильных: 100000, с ошибками: 1"));
    QCOMPARE(readFile(path(QStringLiteral("out.tvr"))), QByteArray("previous"));

    QVERIFY(writeFile(path(QStringLiteral("in.csv")), good));
    r = tool(args);
    QCOMPARE(r.exitCode, 0);
    const QByteArray text = readFile(path(QStringLiteral("out.tvr")));
    QCOMPARE(text.count("\r\n"), 100000);
    QVERIFY(text.startsWith(cp("100000;4600000000000;Товар 0, шт;0.50;1.5;01.02.25;10:00\r\n")));
    QVERIFY(text.endsWith(cp("199999;4600000099999;Товар 99999, шт;999.50;1.5;01.02.25;10:00\r\n")));
}

void TestOfficeCsv::hugeFileStaysFlat_data()
{
    QTest::addColumn<QByteArray>("head"); // then zero bytes up to 2 GB, which take no disk
    QTest::addColumn<QString>("report");
    const QByteArray rows = Header + "100001;4600000000017;Milk;1;1;;\n";
    QTest::newRow("quote left open") << QByteArray(rows + "100002;4600000000024;\"Bread")
                                     << s("строка 3 поле 3: значение длиннее 1 МБ");
    QTest::newRow("no text at all") << rows << s("строка 3 поле 1: значение длиннее 1 МБ");
}

void TestOfficeCsv::hugeFileStaysFlat()
{
#ifdef ORTOVA_SANITIZED
    // The address sanitizer's shadow memory alone is larger than the address-space limit.
    QSKIP("the address-space limit leaves no room for the address sanitizer");
#endif
    QFETCH(QByteArray, head);
    QFETCH(QString, report);
    QFile csv(path(QStringLiteral("huge.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    QCOMPARE(csv.write(head), qint64(head.size()));
    QVERIFY(csv.resize(qint64(2) << 30));
    csv.close();
    QVERIFY(writeFile(path(QStringLiteral("out.tvr")), "previous"));
    const Run r = tool({ s("import"), s("--table"), s("TVR"), s("--header"), s("huge.csv"), s("out.tvr") }, true);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.contains(report), qPrintable(r.out));
    QCOMPARE(readFile(path(QStringLiteral("out.tvr"))), QByteArray("previous"));
    // The largest child so far (this run or a smaller one) stayed far below the file's size.
    rusage usage {};
    QCOMPARE(::getrusage(RUSAGE_CHILDREN, &usage), 0);
    QVERIFY2(usage.ru_maxrss < 64 * 1024, qPrintable(QString::number(usage.ru_maxrss)));
}

void TestOfficeCsv::exportReadsBack_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QByteArray>("text"); // the table's text form, Windows-1251
    QTest::addColumn<QByteArray>("rows"); // what Python's csv module reads, as JSON
    QTest::addColumn<QStringList>("options");

    QTest::newRow("goods")
        << s("TVR")
        << cp("100001;4600000000017;Сок \"Добрый\", 1 л;55.50;1.500;01.02.25;10:00\r\n"
              "000123;;Хлеб;2.50;1;;\r\n")
        << QByteArray(R"([["CODE","BAR","NAME","PRICE","QUANT","DAY","TM"],)"
                      R"(["100001","4600000000017","Сок \"Добрый\", 1 л","55.50","1.500","01.02.25","10:00"],)"
                      R"(["000123","","Хлеб","2.50","1.000","",""]])")
        << QStringList();
    QTest::newRow("goods for a Russian spreadsheet")
        << s("TVR")
        << cp("100001;4600000000017;Сок \"Добрый\" 1 л;55.50;1.500;01.02.25;10:00\r\n"
              "000123;;Хлеб, батон;2.50;1;;\r\n")
        << QByteArray(R"([["CODE","BAR","NAME","PRICE","QUANT","DAY","TM"],)"
                      R"(["100001","4600000000017","Сок \"Добрый\" 1 л","55,50","1,500","01.02.25","10:00"],)"
                      R"(["000123","","Хлеб, батон","2,50","1,000","",""]])")
        << QStringList { s("--excel-ru") };
    // QNT is written "1.5" in the terminal's text, all three decimals in the spreadsheet.
    QTest::newRow("quantity under MINIMAL")
        << s("PRH") << QByteArray("4600000000001;11111;1.5\r\n")
        << QByteArray(R"([["BAR","CODE","QNT"],["4600000000001","11111","1.500"]])") << QStringList();
    QTest::newRow("text without padding") << s("RES") << cp("Сыр;12.05;01.02.25\r\n Соль ;0.10;\r\n")
                                          << QByteArray(R"([["NAME","SUM","DAY"],["Сыр","12.05","01.02.25"],)"
                                                        R"(["Соль","0.10",""]])")
                                          << QStringList();
}

void TestOfficeCsv::exportReadsBack()
{
    QFETCH(QString, table);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, rows);
    QFETCH(QStringList, options);
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFile::exists(python))
        QSKIP("no /usr/bin/python3");
    QVERIFY(writeFile(path(QStringLiteral("t.txt")), text));
    QCOMPARE(tool({ s("to-bin"), s("--table"), table, s("t.txt"), s("t.bin") }).exitCode, 0);
    const Run r
        = tool(QStringList { s("export"), s("--table"), table } + options + QStringList { s("t.bin"), s("t.csv") });
    QCOMPARE(r.exitCode, 0);
    const QByteArray csv = readFile(path(QStringLiteral("t.csv")));
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(csv.count("\r\n"), rows.count("],[") + 1);

    const Run read = run(python,
        { s("-c"),
            s("import csv, json, sys; print(json.dumps(list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', "
              "newline=''), delimiter=sys.argv[2])), ensure_ascii=False))"),
            path(QStringLiteral("t.csv")), options.contains(s("--excel-ru")) ? s(";") : s(",") });
    QCOMPARE(read.exitCode, 0);
    QCOMPARE(QJsonDocument::fromJson(read.out.toUtf8()).array(), QJsonDocument::fromJson(rows).array());

    // And the office's spreadsheet comes back as the same table.
    QCOMPARE(tool({ s("import"), s("--table"), table, s("--header"), s("t.csv"), s("back.txt") }).exitCode, 0);
    QCOMPARE(tool({ s("to-bin"), s("--table"), table, s("back.txt"), s("back.bin") }).exitCode, 0);
    QCOMPARE(readFile(path(QStringLiteral("back.bin"))), readFile(path(QStringLiteral("t.bin"))));
}

void TestOfficeCsv::warnsBeforeCut_data()
{
    QTest::addColumn<QString>("command"); // import (a CSV file with a header row) or check (the text file)
    QTest::addColumn<QByteArray>("rows"); // UTF-8, fields separated by ";"
    QTest::addColumn<bool>("strict");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out"); // every line printed

    // NAME is TEXT 20: twenty Cyrillic letters fit (forty bytes of UTF-8, twenty of the terminal's).
    const QByteArray fits = "100001;4600000000017;Шампунь для волос №1;1.00;1;;\n";
    const QByteArray cut = "100002;4600000000024;Шампунь Head & Shoulders Основной;1.00;1;;\n";
    const QByteArray again = "100001;4600000000031;Сок;1.00;1;;\n100004;4600000000024;Вода;1.00;1;;\n";
    for (const char* command : { "import", "check" }) {
        const bool csv = QByteArray(command) == "import";
        auto line = [csv](int row) { return QString::number(csv ? row + 1 : row); };
        const QString cutLine = s("строка ") + line(2) + s(" поле 3: длиннее 20 знаков, обрезается");
        QTest::addRow("%s: a name cut", command)
            << s(command) << QByteArray(fits + cut) << false << 0
            << QStringList { cutLine, s("Предупреждений: 1"), s("Строк: 2, правильных: 2, с ошибками: 0") };
        QTest::addRow("%s: a name cut, strict", command)
            << s(command) << QByteArray(fits + cut) << true << 1
            << (QStringList { cutLine, s("Строк: 2, правильных: 1, с ошибками: 1") }
                   + (csv ? QStringList { s("ortova-tool: out.tvr не записан: исправьте строки с ошибками") }
                          : QStringList()));
        const QStringList repeats { s("строка ") + line(3) + s(" поле 1: код уже в строке ") + line(1)
                + s(", по нему найдётся только первый товар"),
            s("строка ") + line(4) + s(" поле 2: штрихкод уже в строке ") + line(2)
                + s(", по нему найдётся только первый товар") };
        QTest::addRow("%s: a code and a barcode again", command)
            << s(command) << QByteArray(fits + "100002;4600000000024;Хлеб;1.00;1;;\n" + again) << false << 0
            << (repeats + QStringList { s("Предупреждений: 2"), s("Строк: 4, правильных: 4, с ошибками: 0") });
        QTest::addRow("%s: a code and a barcode again, strict", command)
            << s(command) << QByteArray(fits + "100002;4600000000024;Хлеб;1.00;1;;\n" + again) << true << 1
            << (repeats + QStringList { s("Строк: 4, правильных: 2, с ошибками: 2") }
                   + (csv ? QStringList { s("ortova-tool: out.tvr не записан: исправьте строки с ошибками") }
                          : QStringList()));
    }
}

// A value the terminal would cut, and a key the terminal could find only once, are reported before
// the data reaches it; --strict refuses them. The file is written only when nothing was refused.
void TestOfficeCsv::warnsBeforeCut()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, rows);
    QFETCH(bool, strict);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    const bool csv = command == QLatin1String("import");
    QByteArray text = rows;
    if (csv)
        QVERIFY(writeFile(path(QStringLiteral("in.csv")), withHeader(rows)));
    else
        QVERIFY(writeFile(path(QStringLiteral("in.tvr")), cp(text.replace("\n", "\r\n").constData())));
    QVERIFY(writeFile(path(QStringLiteral("out.tvr")), "previous"));
    QStringList args { command, s("--table"), s("TVR") };
    if (strict)
        args << s("--strict");
    args << (csv ? QStringList { s("--header"), s("in.csv"), s("out.tvr") } : QStringList { s("in.tvr") });
    const Run r = tool(args);
    QCOMPARE(r.exitCode, exitCode);
    const QString printed = r.out + r.err;
    QCOMPARE(printed.split(u'\n', Qt::SkipEmptyParts), out);
    const QByteArray written = readFile(path(QStringLiteral("out.tvr")));
    QCOMPARE(written == "previous", !csv || exitCode != 0);
    // What is written is what the terminal converts, cut name and all.
    if (csv && exitCode == 0)
        QCOMPARE(written.count("\r\n"), rows.count('\n'));
}

// With --titles the headings are the columns' titles of the table's browsing view.
void TestOfficeCsv::exportTitles()
{
    QVERIFY(QFile::copy(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtSystem.ini"), path(s("demo.ini"))));
    QVERIFY(writeFile(path(s("t.txt")), cp("000010;4600000000017;Молоко;89.90;10\r\n")));
    const QStringList system { s("--system"), s("demo.ini") };
    QCOMPARE(tool(system + QStringList { s("to-bin"), s("--table"), s("TVR"), s("t.txt"), s("t.bin") }).exitCode, 0);
    QCOMPARE(tool(system
                 + QStringList { s("export"), s("--table"), s("TVR"), s("--titles"), s("--excel-ru"), s("t.bin"),
                     s("t.csv") })
                 .exitCode,
        0);
    QCOMPARE(readFile(path(s("t.csv"))),
        QByteArray("\xEF\xBB\xBF")
            + QString(s("Код;Штрихкод;Наименование;Цена;Остаток\r\n000010;4600000000017;Молоко;89,90;10,000\r\n"))
                  .toUtf8());
}

QTEST_GUILESS_MAIN(TestOfficeCsv)
#include "tst_officecsv.moc"
