// The office's close of a stock-take at the size of a large shop: `ortova-tool reconcile` of a
// goods table of 1,000,000 items against two terminals' result tables of 50,000 lines each, as
// whole processes, into CSV and into an Excel workbook; time and peak resident memory. The
// figures go into BENCHMARKS.md.
//
// Run: build/bench/bench_reconcile; ORTOVA_TOOL names the tool when it is not at
// ../tools/ortova-tool beside this program. ORTOVA_BENCH_LINES changes the goods count (the
// result lines stay a tenth of it); ORTOVA_BENCH_DIR names an existing folder for the tables.

#include "Codec.h"
#include "FieldCodec.h"
#include "TableDescr.h"

#include "BenchData.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Data {
    QTemporaryDir temporary;
    QDir dir { temporary.path() };
    qint64 goods = 1000000;
    QString tool;
    QString systemIni;
};
Data* data = nullptr;

// The goods table of the tables benchmark (CODE, BAR, NAME, PRICE, QUANT) and the demo's result
// table, BAR before CODE.
void writeSystemIni(const QString& path)
{
    const QString ini = QStringLiteral("[SYSTEM]\r\nSUMMADP=2\r\nQUANTITYDP=3\r\n"
                                       "[TABLE]\r\nNAME=GOODS\r\nEXTENSION=TVR\r\nPNAME=Товары\r\nTABCHAR=;\r\n"
                                       "FIELD=CODE,DIGIT,STANDART,0,6\r\nFIELD=BAR,DIGIT,STANDART,0,13\r\n"
                                       "FIELD=NAME,TEXT,STANDART,0,30\r\nFIELD=PRICE,SUMMA,STANDART,0,10\r\n"
                                       "FIELD=QUANT,QUANTITY,STANDART,0,10\r\n"
                                       "[TABLE]\r\nNAME=Ostatki\r\nEXTENSION=RES\r\nPNAME=Остатки\r\nTABCHAR=;\r\n"
                                       "FIELD=BAR,DIGIT,STANDART,0,13\r\nFIELD=CODE,DIGIT,STANDART,0,6\r\n"
                                       "FIELD=NAME,TEXT,MINIMAL,0,30\r\nFIELD=PRICE,SUMMA,STANDART,0,10\r\n"
                                       "FIELD=REST,QUANTITY,MINIMAL,0,10\r\n");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(fromUi(ini));
}

TableDescr resultTable()
{
    TableDescr t;
    t.extension = "RES";
    t.name = t.workName = "Ostatki";
    t.tabChar = ';';
    t.fields = { benchField("BAR", FieldType::Digit, 13), benchField("CODE", FieldType::Digit, 6),
        benchField("NAME", FieldType::Text, 30), benchField("PRICE", FieldType::Summa, 10),
        benchField("REST", FieldType::Quantity, 10) };
    t.computeLayout();
    return t;
}

QByteArray nameOf(qint64 i)
{
    QByteArray name;
    for (int k = 0; k < 30; ++k)
        name += char(0xC0 + (i + k * 7) % 64);
    return name;
}

QByteArray codeOf(qint64 i)
{
    return QByteArray::number(i).rightJustified(6, '0');
}

bool writeTable(const QString& file, const QByteArray& records)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly) && f.write(records) == records.size();
}

// Goods: every item, or one in ten, with a book quantity. Results: 90 % of the lines by code,
// 5 % weight lines by barcode, 5 % barcodes the goods do not have.
bool writeData(const QString& goodsFile, int stockEvery, const QStringList& resultFiles)
{
    const TableDescr goods = benchGoodsTable();
    const TableDescr res = resultTable();
    QRandomGenerator random(22);
    QByteArray records;
    records.reserve(data->goods * goods.recordLength);
    QByteArray record(goods.recordLength, ' ');
    for (qint64 i = 0; i < data->goods; ++i) {
        const QByteArray line = codeOf(i) + ';' + barcodeOf(i) + ';' + nameOf(i) + ';'
            + QByteArray::number(1 + random.bounded(500000)) + '.' + QByteArray::number(10 + random.bounded(90)) + ';'
            + (i % stockEvery == 0
                    ? QByteArray::number(random.bounded(100)) + '.' + QByteArray::number(random.bounded(1000))
                    : QByteArray("0"));
        if (lineToRecord(goods, line, record) >= 0)
            return false;
        records += record;
    }
    if (!writeTable(goodsFile, records))
        return false;
    const qint64 lines = data->goods / 10 / resultFiles.size();
    QByteArray rec(res.recordLength, ' ');
    for (const QString& file : resultFiles) {
        records.clear();
        for (qint64 n = 0; n < lines; ++n) {
            const qint64 i = random.bounded(data->goods);
            const int kind = random.bounded(100);
            const QByteArray quantity
                = QByteArray::number(random.bounded(50)) + '.' + QByteArray::number(random.bounded(1000));
            // Codes take all six digits at 1,000,000 goods: the lines not in the directory are
            // barcodes no item has.
            QByteArray line;
            if (kind < 90)
                line = ';' + codeOf(i) + ';' + nameOf(i) + ";1.00;" + quantity;
            else if (kind < 95)
                line = barcodeOf(i) + ";;" + nameOf(i) + ";1.00;" + quantity;
            else
                line = "2999999" + QByteArray::number(100000 + i % 900000) + ";;" + nameOf(i) + ";1.00;" + quantity;
            if (lineToRecord(res, line, rec) >= 0)
                return false;
            records += rec;
        }
        QDir().mkpath(QFileInfo(file).path());
        if (!writeTable(file, records))
            return false;
    }
    return true;
}

// Runs the tool under /usr/bin/time; its peak resident memory in KiB, or -1 when it failed.
long runTool(const std::vector<std::string>& argv)
{
    const QString rssFile = data->dir.filePath(QStringLiteral("rss.txt"));
    std::vector<std::string> full { "/usr/bin/time", "-f", "%M", "-o", rssFile.toStdString(),
        data->tool.toStdString() };
    full.insert(full.end(), argv.begin(), argv.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(data->dir.filePath(QStringLiteral("tool.out")));
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const std::string& a : full)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    QFile rss(rssFile);
    if (!rss.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const long kib = rss.readAll().trimmed().toLong(&ok);
    return ok ? kib : -1;
}

// Arg 0: ".csv" or ".xlsx" (0, 1); arg 1: every goods item in stock (1) or one in ten (10).
void BM_Reconcile(benchmark::State& state)
{
    const QString report
        = data->dir.filePath(QStringLiteral("report%1%2")
                                 .arg(state.range(1))
                                 .arg(state.range(0) ? QStringLiteral(".xlsx") : QStringLiteral(".csv")));
    const QString goods = data->dir.filePath(QStringLiteral("GOODS%1_tvr.bin").arg(state.range(1)));
    long rss = 0;
    for (auto _ : state) {
        rss = runTool({ "--system", data->systemIni.toStdString(), "reconcile", "--goods", goods.toStdString(),
            data->dir.filePath(QStringLiteral("01/Ostatki_res.bin")).toStdString(),
            data->dir.filePath(QStringLiteral("02/Ostatki_res.bin")).toStdString(), "-o", report.toStdString() });
        if (rss < 0)
            state.SkipWithError("ortova-tool reconcile failed");
    }
    QFile printed(data->dir.filePath(QStringLiteral("tool.out")));
    printed.open(QIODevice::ReadOnly);
    state.SetLabel(printed.readAll().trimmed().toStdString());
    state.counters["maxRSS_KiB"] = double(rss);
    state.counters["bytes_out"] = double(QFileInfo(report).size());
}

} // namespace

BENCHMARK(BM_Reconcile)
    ->Args({ 0, 1 })
    ->Args({ 1, 1 })
    ->Args({ 0, 10 })
    ->Args({ 1, 10 })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    auto owned = std::make_unique<Data>();
    data = owned.get();
    bool ok = false;
    const qint64 goods = qEnvironmentVariableIntValue("ORTOVA_BENCH_LINES", &ok);
    if (ok && goods >= 100 && goods <= 1000000)
        data->goods = goods;
    // ORTOVA_BENCH_DIR keeps the tables in that folder (for a profiler), else a temporary one.
    if (qEnvironmentVariableIsSet("ORTOVA_BENCH_DIR"))
        data->dir.setPath(qEnvironmentVariable("ORTOVA_BENCH_DIR"));
    data->tool = qEnvironmentVariable("ORTOVA_TOOL");
    if (data->tool.isEmpty())
        data->tool = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../tools/ortova-tool"));
    data->systemIni = data->dir.filePath(QStringLiteral("OrtSystem.ini"));
    writeSystemIni(data->systemIni);
    const QStringList results { data->dir.filePath(QStringLiteral("01/Ostatki_res.bin")),
        data->dir.filePath(QStringLiteral("02/Ostatki_res.bin")) };
    if (!writeData(data->dir.filePath(QStringLiteral("GOODS10_tvr.bin")), 10, results)
        || !writeData(data->dir.filePath(QStringLiteral("GOODS1_tvr.bin")), 1, results)) {
        std::fprintf(stderr, "could not prepare the tables\n");
        return 1;
    }
    std::printf("goods: %lld items, results: 2 x %lld lines\n", static_cast<long long>(data->goods),
        static_cast<long long>(data->goods / 20));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
