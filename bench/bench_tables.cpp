// Tables engine on a goods directory of 1,000,000 lines: both conversions, indexed lookup by
// barcode, block search, and the office tool's to-bin against mawk writing the same number of
// fixed-width records. The figures go into BENCHMARKS.md.
//
// Run: build/bench/bench_tables [--benchmark_filter=...]; ORTOVA_TOOL names the tool when it is
// not at ../tools/ortova-tool beside this program. ORTOVA_BENCH_LINES changes the line count.

#include "Codec.h"
#include "ConvFile.h"
#include "Index.h"
#include "IndexFreshness.h"
#include "RecordFile.h"
#include "Search.h"
#include "TableDescr.h"

#include "BenchData.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Data {
    QTemporaryDir dir;
    qint64 lines = 1000000;
    QString text;
    QString text100k;
    QString bin;
    QString systemIni;
    QString tool;
};

Data* data = nullptr;

void writeGoods(const QString& path, qint64 lines)
{
    std::mt19937 rng(20260307);
    std::uniform_int_distribution<int> letter(0xC0, 0xFF);
    std::uniform_int_distribution<int> price(100, 999999);
    std::uniform_int_distribution<int> quantity(0, 999999);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    QByteArray chunk;
    char buf[160];
    for (qint64 i = 0; i < lines; ++i) {
        char name[31];
        for (int k = 0; k < 30; ++k)
            name[k] = static_cast<char>(letter(rng));
        name[30] = 0;
        const int p = price(rng);
        const int q = quantity(rng);
        const int n = std::snprintf(buf, sizeof buf, "%06lld;%s;%s;%d.%02d;%d.%03d\r\n", i % 1000000,
            barcodeOf(i).constData(), name, p / 100, p % 100, q / 1000, q % 1000);
        chunk.append(buf, n);
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
}

void writeSystemIni(const QString& path)
{
    const QString ini = QStringLiteral("[SYSTEM]\r\nSUMMADP=2\r\nQUANTITYDP=3\r\n[TABLE]\r\nNAME=GOODS\r\n"
                                       "EXTENSION=TVR\r\nPNAME=Товары\r\nTABCHAR=;\r\n"
                                       "FIELD=CODE,DIGIT,STANDART,0,6\r\nFIELD=BAR,DIGIT,STANDART,0,13\r\n"
                                       "FIELD=NAME,TEXT,STANDART,0,30\r\nFIELD=PRICE,SUMMA,STANDART,0,10\r\n"
                                       "FIELD=QUANT,QUANTITY,STANDART,0,10\r\n");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(fromUi(ini));
}

// Runs a program under /usr/bin/time with stdout to a file; returns its peak resident memory in
// KiB (as time reports it), or -1. The program's exit code must be 0 or 1.
long runChild(const std::vector<std::string>& argv, const QString& stdoutFile)
{
    const QString rssFile = data->dir.filePath(QStringLiteral("rss.txt"));
    std::vector<std::string> full { "/usr/bin/time", "-f", "%M", "-o", rssFile.toStdString() };
    full.insert(full.end(), argv.begin(), argv.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(stdoutFile);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const std::string& a : full)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return -1;
    QFile rss(rssFile);
    if (!rss.open(QIODevice::ReadOnly))
        return -1;
    // A non-zero exit adds a "Command exited with non-zero status" line before the figure.
    const QList<QByteArray> lines = rss.readAll().trimmed().split('\n');
    bool ok = false;
    const long kib = lines.last().trimmed().toLong(&ok);
    return ok ? kib : -1;
}

void BM_ConvertToBin(benchmark::State& state)
{
    TableDescr t = benchGoodsTable();
    const QString out = data->dir.filePath(QStringLiteral("conv_tvr.bin"));
    for (auto _ : state) {
        ConvFile conv;
        if (!conv.ConvertToBin(data->text, out, t))
            state.SkipWithError("conversion failed");
    }
    state.counters["records"] = t.recordCount;
    state.counters["lines/s"] = benchmark::Counter(double(data->lines), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ConvertToTxt(benchmark::State& state)
{
    const TableDescr t = benchGoodsTable();
    const QString out = data->dir.filePath(QStringLiteral("back.tvr"));
    for (auto _ : state) {
        ConvFile conv;
        if (!conv.ConvertToTxt(data->bin, out, t))
            state.SkipWithError("conversion failed");
    }
    state.counters["records/s"]
        = benchmark::Counter(double(data->lines), benchmark::Counter::kIsIterationInvariantRate);
}

void indexedLookup(benchmark::State& state, const QByteArray& key, qint32 expected)
{
    const TableDescr t = benchGoodsTable();
    QByteArray rec;
    // The index exists and is fresh, as after the first lookup on the terminal.
    if (searchNdx(data->bin, t, KeyRole::Bar, barcodeOf(0), rec) != 0)
        state.SkipWithError("index not built");
    for (auto _ : state) {
        if (searchNdx(data->bin, t, KeyRole::Bar, key, rec) != expected)
            state.SkipWithError("wrong record");
    }
}

void BM_IndexedHitNearStart(benchmark::State& state)
{
    indexedLookup(state, barcodeOf(10), 10);
}

void BM_IndexedHitNearEnd(benchmark::State& state)
{
    indexedLookup(state, barcodeOf(data->lines - 10), qint32(data->lines - 10));
}

void BM_IndexedMiss(benchmark::State& state)
{
    indexedLookup(state, ean13(299999999999LL), -1);
}

// The first miss of a run, when nothing is known yet about the index left by an earlier run: the
// goods table is scanned (and the index compared with it) once.
void BM_IndexedMissFirstOfRun(benchmark::State& state)
{
    const TableDescr t = benchGoodsTable();
    QByteArray rec;
    if (searchNdx(data->bin, t, KeyRole::Bar, barcodeOf(0), rec) != 0)
        state.SkipWithError("index not built");
    for (auto _ : state) {
        forgetIndexFreshness();
        if (searchNdx(data->bin, t, KeyRole::Bar, ean13(299999999999LL), rec) != -1)
            state.SkipWithError("wrong record");
    }
}

void blockScan(benchmark::State& state, const QByteArray& key, qint32 expected)
{
    const TableDescr t = benchGoodsTable();
    QByteArray rec;
    for (auto _ : state) {
        if (blockSearch(data->bin, t, 1, key, rec) != expected)
            state.SkipWithError("wrong record");
    }
}

void BM_BlockSearchNearEnd(benchmark::State& state)
{
    blockScan(state, barcodeOf(data->lines - 10), qint32(data->lines - 10));
}

void BM_BlockSearchMiss(benchmark::State& state)
{
    blockScan(state, ean13(299999999999LL), -1);
}

// The office tool as the office runs it: a process reading the settings file and converting.
void BM_ToolToBin(benchmark::State& state)
{
    const QString& text = state.range(0) == 0 ? data->text : data->text100k;
    const QString out = data->dir.filePath(QStringLiteral("tool_tvr.bin"));
    long rss = 0;
    for (auto _ : state) {
        rss = runChild({ data->tool.toStdString(), "--system", data->systemIni.toStdString(), "to-bin", "--table",
                           "TVR", text.toStdString(), out.toStdString() },
            data->dir.filePath(QStringLiteral("tool.out")));
        if (rss < 0)
            state.SkipWithError("ortova-tool failed");
    }
    state.counters["maxRSS_KiB"] = double(rss);
    state.counters["bytes_out"] = double(QFileInfo(out).size());
}

// mawk writing the same number of fixed-width records (70 bytes each) to stdout.
void BM_MawkToBin(benchmark::State& state)
{
    const QString& text = state.range(0) == 0 ? data->text : data->text100k;
    const QString out = data->dir.filePath(QStringLiteral("mawk.out"));
    long rss = 0;
    for (auto _ : state) {
        rss = runChild(
            { "mawk", "-F;", "{printf \"%-6s%-14s%-30s%010d%010d\", $1, $2, $3, $4*100, $5*1000}", text.toStdString() },
            out);
        if (rss < 0)
            state.SkipWithError("mawk failed");
    }
    state.counters["maxRSS_KiB"] = double(rss);
    state.counters["bytes_out"] = double(QFileInfo(out).size());
}

} // namespace

BENCHMARK(BM_ConvertToBin)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ConvertToTxt)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_IndexedHitNearStart)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IndexedHitNearEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexedMiss)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexedMissFirstOfRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockSearchNearEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockSearchMiss)->Unit(benchmark::kMillisecond);
// Arg 0: the full file; arg 1: its first 100,000 lines (memory must not grow with the file).
BENCHMARK(BM_ToolToBin)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_MawkToBin)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    auto owned = std::make_unique<Data>();
    data = owned.get();
    bool ok = false;
    const qint64 lines = qEnvironmentVariableIntValue("ORTOVA_BENCH_LINES", &ok);
    if (ok && lines > 20)
        data->lines = lines;
    data->tool = qEnvironmentVariable("ORTOVA_TOOL");
    if (data->tool.isEmpty())
        data->tool = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../tools/ortova-tool"));
    data->text = data->dir.filePath(QStringLiteral("GOODS.tvr"));
    data->text100k = data->dir.filePath(QStringLiteral("GOODS100k.tvr"));
    data->bin = data->dir.filePath(QStringLiteral("GOODS_tvr.bin"));
    data->systemIni = data->dir.filePath(QStringLiteral("OrtSystem.ini"));
    writeGoods(data->text, data->lines);
    writeGoods(data->text100k, qMin<qint64>(data->lines, 100000));
    writeSystemIni(data->systemIni);
    TableDescr t = benchGoodsTable();
    ConvFile conv;
    if (!conv.ConvertToBin(data->text, data->bin, t) || t.recordCount != data->lines) {
        std::fprintf(stderr, "could not prepare the goods table\n");
        return 1;
    }
    std::printf("goods: %lld lines, text %lld bytes, table %lld bytes, record %d bytes\n",
        static_cast<long long>(data->lines), static_cast<long long>(QFileInfo(data->text).size()),
        static_cast<long long>(QFileInfo(data->bin).size()), t.recordLength);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
