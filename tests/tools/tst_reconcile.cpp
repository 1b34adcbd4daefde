// ortova-tool reconcile over one small stock-take (two terminals, the demo's tables), its report
// read back by Python as a spreadsheet program reads it: openpyxl for the workbook, the csv
// module for CSV.

#include "TestUtil.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

using TestUtil::cp;
using TestUtil::readFile;
using TestUtil::writeFile;

namespace {

using Run = TestUtil::ProgramRun;

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

const QString Python = QStringLiteral("/usr/bin/python3");

// CODE;BAR;NAME;PRICE;REST, not in code order. Сыр is counted on one terminal, Молоко on both
// (by code on 01, by barcode on 02), Хлеб nowhere though it is in stock, Колбаса by a weight
// line's barcode, Спички 1.015 at 1.00 (1.02 exactly; binary floating point rounds it to 1.01),
// Соль neither counted nor in stock (not reported), Чай exactly as booked.
const char* const Goods = "000010;4600000000017;Молоко;89.90;10\r\n"
                          "000020;4600000000024;Хлеб;45.55;5\r\n"
                          "000003;4600000000031;Сыр;0.35;3.333\r\n"
                          "000040;2204680000000;Колбаса;645.99;0\r\n"
                          "000050;4600000000055;Спички;1.00;0\r\n"
                          "000060;4600000000062;Соль;12.00;0\r\n"
                          "000005;4600000000048;Чай;100.00;2\r\n";
// BAR;CODE;NAME;PRICE;REST as the terminals unload them.
const char* const First = ";000010;Молоко;89.90;4\r\n"
                          ";000003;Сыр;0.35;1.001\r\n"
                          ";000050;Спички;1.00;1.015\r\n"
                          ";777777;Нечто;5.00;1\r\n";
const char* const Second = "4600000000017;;Молоко;89.90;3\r\n"
                           "4600000000017;;Молоко;89.90;2.5\r\n"
                           "2204680000000;;Колбаса;645.99;13.579\r\n"
                           ";000005;Чай;100.00;2\r\n"
                           "9999999999999;;Неизвестно;1.00;2\r\n";

QJsonArray rows(const QList<QStringList>& table)
{
    QJsonArray out;
    for (const QStringList& row : table)
        out.append(QJsonArray::fromStringList(row));
    return out;
}

} // namespace

class TestReconcile : public QObject {
    Q_OBJECT

private slots:
    void init();
    void reportReadsBack_data();
    void reportReadsBack();
    void unreadableResultWritesNothing_data();
    void unreadableResultWritesNothing();

private:
    Run run(const QString& program, const QStringList& args) const;
    Run tool(const QStringList& args) const { return run(QStringLiteral(ORTOVA_TOOL), args); }
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QScopedPointer<QTemporaryDir> m_dir;
};

void TestReconcile::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    QVERIFY(QFile::copy(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtSystem.ini"), path(s("OrtSystem.ini"))));
    QVERIFY(QDir(m_dir->path()).mkpath(s("out/01")));
    QVERIFY(QDir(m_dir->path()).mkpath(s("out/02")));
    QVERIFY(writeFile(path(s("Tovar.tvr")), cp(Goods)));
    QVERIFY(writeFile(path(s("Prihod.prh")), cp(Goods)));
    QVERIFY(writeFile(path(s("out/01/Ostatki.res")), cp(First)));
    QVERIFY(writeFile(path(s("out/02/Ostatki.res")), cp(Second)));
}

Run TestReconcile::run(const QString& program, const QStringList& args) const
{
    return TestUtil::runProgram(program, args, m_dir->path());
}

void TestReconcile::reportReadsBack_data()
{
    QTest::addColumn<QStringList>("args"); // after "reconcile"
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("delimiter"); // of the CSV file
    QTest::addColumn<QStringList>("labels"); // the headings "Факт <label>"

    const QStringList results { s("out/01/Ostatki.res"), s("out/02/Ostatki.res") };
    QTest::newRow("csv, text tables, labels by folder") << (QStringList { s("--goods"), s("Tovar.tvr") } + results)
                                                        << s("r.csv") << s(",") << QStringList { s("01"), s("02") };
    QTest::newRow("csv for a Russian spreadsheet")
        << (QStringList { s("--goods"), s("Tovar.tvr"), s("--excel-ru") } + results) << s("r.csv") << s(";")
        << QStringList { s("01"), s("02") };
    QTest::newRow("csv, semicolon and decimal comma given apart")
        << (QStringList { s("--receipt"), s("Prihod.prh"), s("--delimiter"), s(";"), s("--decimal-comma") } + results)
        << s("r.csv") << s(";") << QStringList { s("01"), s("02") };
    QTest::newRow("xlsx, binary tables, labels given")
        << QStringList { s("--goods"), s("bin/Tovar_tvr.bin"), s("--label"), s("Касса 1=bin/01/Ostatki_res.bin"),
               s("bin/01/Ostatki_res.bin"), s("--label"), s("Склад=bin/02/Ostatki_res.bin"), s("-o"), s("r.xlsx") }
        << s("r.xlsx") << QString() << QStringList { s("Касса 1"), s("Склад") };
}

void TestReconcile::reportReadsBack()
{
    QFETCH(QStringList, args);
    QFETCH(QString, report);
    QFETCH(QString, delimiter);
    QFETCH(QStringList, labels);
    if (!QFile::exists(Python))
        QSKIP("no /usr/bin/python3");
    // The binary forms, as the terminals and the office keep them.
    for (const auto& [table, text, bin] : { std::tuple { "TVR", "Tovar.tvr", "bin/Tovar_tvr.bin" },
             std::tuple { "RES", "out/01/Ostatki.res", "bin/01/Ostatki_res.bin" },
             std::tuple { "RES", "out/02/Ostatki.res", "bin/02/Ostatki_res.bin" } }) {
        QVERIFY(QDir(m_dir->path()).mkpath(QFileInfo(path(s(bin))).path()));
        QCOMPARE(tool({ s("to-bin"), s("--table"), s(table), s(text), s(bin) }).exitCode, 0);
    }
    if (!args.contains(s("-o")))
        args << s("-o") << report;
    const Run r = tool(QStringList { s("reconcile") } + args);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, s("Позиций: 6, строк нет в справочнике: 2\n"));

    const bool comma = args.contains(s("--excel-ru")) || args.contains(s("--decimal-comma"));
    const Run read = run(Python,
        { s(ORTOVA_SOURCE_DIR "/tests/tools/read_report.py"), path(report), delimiter, comma ? s("1") : s("0") });
    QVERIFY2(read.exitCode == 0, qPrintable(read.err));
    const QJsonObject got = QJsonDocument::fromJson(read.out.toUtf8()).object();

    QCOMPARE(got.value(s("main")).toArray(),
        rows({
            { s("Код"), s("Штрихкод"), s("Наименование"), s("Цена"), s("Учёт"), s("Факт"), s("Факт ") + labels[0],
                s("Факт ") + labels[1], s("Разница"), s("Сумма разницы") },
            { s("000003"), s("4600000000031"), s("Сыр"), s("0.35"), s("3.333"), s("1.001"), s("1.001"), s("0.000"),
                s("-2.332"), s("-0.82") },
            { s("000005"), s("4600000000048"), s("Чай"), s("100.00"), s("2.000"), s("2.000"), s("0.000"), s("2.000"),
                s("0.000"), s("0.00") },
            { s("000010"), s("4600000000017"), s("Молоко"), s("89.90"), s("10.000"), s("9.500"), s("4.000"), s("5.500"),
                s("-0.500"), s("-44.95") },
            { s("000020"), s("4600000000024"), s("Хлеб"), s("45.55"), s("5.000"), s("0.000"), s("0.000"), s("0.000"),
                s("-5.000"), s("-227.75") },
            { s("000040"), s("2204680000000"), s("Колбаса"), s("645.99"), s("0.000"), s("13.579"), s("0.000"),
                s("13.579"), s("13.579"), s("8771.90") },
            { s("000050"), s("4600000000055"), s("Спички"), s("1.00"), s("0.000"), s("1.015"), s("1.015"), s("0.000"),
                s("1.015"), s("1.02") },
        }));
    QCOMPARE(got.value(s("loose")).toArray(),
        rows({
            { s("Код"), s("Штрихкод"), s("Наименование"), s("Факт"), s("Метка") },
            { s("777777"), QString(), s("Нечто"), s("1.000"), labels[0] },
            { QString(), s("9999999999999"), s("Неизвестно"), s("2.000"), labels[1] },
        }));
    QCOMPARE(got.value(s("totals")).toArray(),
        rows({
            { s("Сумма по учёту"), s("1327.92") },
            { s("Сумма по факту"), s("9827.32") },
            { s("Недостача на сумму"), s("273.52") },
            { s("Излишки на сумму"), s("8772.92") },
            { s("Позиций с недостачей"), s("3") },
            { s("Позиций с излишками"), s("2") },
            { s("Позиций без расхождений"), s("1") },
            { s("Строк нет в справочнике"), s("2") },
        }));
}

void TestReconcile::unreadableResultWritesNothing_data()
{
    QTest::addColumn<QString>("second"); // what stands in for the second terminal's results
    QTest::addColumn<QByteArray>("content"); // written to it first, unless empty
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("report"); // printed

    QTest::newRow("missing") << s("out/03/Ostatki.res") << QByteArray() << 2 << s("нет файла out/03/Ostatki.res");
    QTest::newRow("binary with a torn record")
        << s("out/02/Ostatki_res.bin") << QByteArray(45, '1') << 2 << s("out/02/Ostatki_res.bin не прочитан");
    QTest::newRow("bad line") << s("out/02/Ostatki.res") << QByteArray(";000005;Чай;100.00;два\r\n") << 1
                              << s("out/02/Ostatki.res: строка 1 поле 5");
}

void TestReconcile::unreadableResultWritesNothing()
{
    QFETCH(QString, second);
    QFETCH(QByteArray, content);
    QFETCH(int, exitCode);
    QFETCH(QString, report);
    if (!content.isEmpty())
        QVERIFY(writeFile(path(second), cp(content.constData())));
    for (const QString& name : { s("r.csv"), s("r.xlsx") }) {
        QVERIFY(writeFile(path(name), "previous"));
        const QStringList before = QDir(m_dir->path()).entryList(QDir::Files);
        const Run r
            = tool({ s("reconcile"), s("--goods"), s("Tovar.tvr"), s("out/01/Ostatki.res"), second, s("-o"), name });
        QCOMPARE(r.exitCode, exitCode);
        const QString printed = r.out + r.err;
        QVERIFY2(printed.contains(report), qPrintable(printed));
        QCOMPARE(readFile(path(name)), QByteArray("previous"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), before);
    }
}

QTEST_GUILESS_MAIN(TestReconcile)
#include "tst_reconcile.moc"
