// Goods lookup through the sorted key files on 1,000,000 goods: building them against building
// Bar.ndx and Code.ndx, a hit and a miss with warm caches, the first lookup of a run (with the page
// cache kept and dropped), and `ortova-tool find` as a whole process against the sqlite3 command
// line answering the same question from an indexed table of the same goods. The figures go into
// BENCHMARKS.md.
//
// Run: build/bench/bench_keyindex [--benchmark_filter=...]; ORTOVA_TOOL names the tool when it is
// not at ../tools/ortova-tool beside this program; ORTOVA_BENCH_LINES changes the goods count. The
// sqlite3 figures are skipped when there is no sqlite3 on the PATH.

#include "Codec.h"
#include "ConvFile.h"
#include "Index.h"
#include "IndexFreshness.h"
#include "KeyIndex.h"
#include "TableDescr.h"

#include "BenchData.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Data {
    QTemporaryDir dir;
    qint64 lines = 1000000;
    TableDescr goods = benchGoodsTable();
    QString text;
    QString bin;
    QString systemIni;
    QString database;
    QString tool;
    QString sqlite;
    std::vector<qint64> barOf; // goods record -> number of its barcode (barcodeOf())
    std::vector<QByteArray> present; // barcodes of goods spread over the table
    QByteArray last; // the barcode of the last record
};

Data* data = nullptr;

const QByteArray Absent = ean13(299999999999LL);

KeyIndexFiles filesFor(KeyRole role)
{
    const FieldDescr& f = data->goods.fields[keyFieldIndex(data->goods, role)];
    KeyIndexFiles files;
    files.goodsFile = data->bin;
    files.recordLength = data->goods.recordLength;
    files.keyOffset = f.offset;
    files.keyWidth = f.width;
    files.indexFile = indexFileName(data->bin, role);
    files.sortedFile = sortedIndexFileName(files.indexFile);
    return files;
}

// Codes in order and barcodes in no order, as an office exports its catalogue.
bool writeText(const QString& path, qint64 lines, std::vector<qint64>& barOf)
{
    std::mt19937 rng(20260308);
    barOf.resize(static_cast<size_t>(lines));
    for (qint64 i = 0; i < lines; ++i)
        barOf[static_cast<size_t>(i)] = i;
    std::shuffle(barOf.begin(), barOf.end(), rng);
    std::uniform_int_distribution<int> price(100, 999999);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    char buf[160];
    for (qint64 i = 0; i < lines; ++i) {
        const int p = price(rng);
        const int n = std::snprintf(buf, sizeof buf, "%06lld;%s;Item %lld;%d.%02d;1.000\r\n", i % 1000000,
            barcodeOf(barOf[static_cast<size_t>(i)]).constData(), static_cast<long long>(i), p / 100, p % 100);
        chunk.append(buf, n);
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    return f.write(chunk) == chunk.size();
}

bool writeSystemIni(const QString& path)
{
    const QString ini = QStringLiteral("[SYSTEM]\r\nSUMMADP=2\r\nQUANTITYDP=3\r\n[TABLE]\r\nNAME=GOODS\r\n"
                                       "EXTENSION=TVR\r\nPNAME=Товары\r\nTABCHAR=;\r\n"
                                       "FIELD=CODE,DIGIT,STANDART,0,6\r\nFIELD=BAR,DIGIT,STANDART,0,13\r\n"
                                       "FIELD=NAME,TEXT,STANDART,0,30\r\nFIELD=PRICE,SUMMA,STANDART,0,10\r\n"
                                       "FIELD=QUANT,QUANTITY,STANDART,0,10\r\n");
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(fromUi(ini)) > 0;
}

// Runs a program with stdout and stderr to /dev/null (stdin from a file when given); returns its
// exit code, or -1 when it could not be run.
int run(const std::vector<std::string>& argv, const QString& stdinFile = QString())
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const QByteArray in = QFile::encodeName(stdinFile);
    if (!stdinFile.isEmpty())
        posix_spawn_file_actions_addopen(&actions, 0, in.constData(), O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Drops the file's pages from the page cache, so that the next read goes to the disk.
void dropCache(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

void BM_BuildIndexFiles(benchmark::State& state)
{
    for (auto _ : state) {
        for (KeyRole role : { KeyRole::Bar, KeyRole::Code }) {
            const KeyIndexFiles f = filesFor(role);
            if (!buildIndex(f.goodsFile, f.recordLength, f.indexFile, f.keyOffset, f.keyWidth))
                state.SkipWithError("index file not built");
        }
    }
    state.counters["goods"] = double(data->lines);
}

// Both sorted files from one read of the goods table, as prepareIndexFiles() builds them.
void buildBoth(benchmark::State& state, IndexFileTrust trust)
{
    for (auto _ : state) {
        QList<SortedJob> jobs { { filesFor(KeyRole::Bar), trust, SortedBuild::Failed },
            { filesFor(KeyRole::Code), trust, SortedBuild::Failed } };
        buildSortedIndexes(jobs);
        for (const SortedJob& j : jobs)
            if (j.result != SortedBuild::Built)
                state.SkipWithError("sorted file not built");
    }
    state.counters["Bar.sorted.ndx_bytes"] = double(QFileInfo(filesFor(KeyRole::Bar).sortedFile).size());
}

// Beside index files built or checked in this run.
void BM_BuildSortedFiles(benchmark::State& state)
{
    buildBoth(state, IndexFileTrust::Trusted);
}

// Comparing each index file with the goods table on the way (files left by an earlier run that
// nothing vouches for).
void BM_BuildSortedFilesComparing(benchmark::State& state)
{
    buildBoth(state, IndexFileTrust::Compare);
}

bool sortedReady()
{
    return sortedIndexUsable(filesFor(KeyRole::Bar)) && sortedIndexUsable(filesFor(KeyRole::Code));
}

void BM_LookupHit(benchmark::State& state)
{
    if (!sortedReady())
        state.SkipWithError("sorted files not usable");
    QByteArray rec;
    size_t i = 0;
    for (auto _ : state) {
        const QByteArray& key = data->present[i++ % data->present.size()];
        if (searchNdx(data->bin, data->goods, KeyRole::Bar, key, rec) < 0)
            state.SkipWithError("not found");
    }
}

void BM_LookupMiss(benchmark::State& state)
{
    if (!sortedReady())
        state.SkipWithError("sorted files not usable");
    QByteArray rec;
    for (auto _ : state) {
        if (searchNdx(data->bin, data->goods, KeyRole::Bar, Absent, rec) != -1)
            state.SkipWithError("found");
    }
}

// The first lookup of a run: nothing is known in the process, so the header is checked in full
// (the goods table's sampled blocks read and checksummed). Arg 1 also drops the goods table and
// the sorted file from the page cache first, as after the terminal is switched on.
void BM_FirstLookupOfRun(benchmark::State& state)
{
    if (!sortedReady())
        state.SkipWithError("sorted files not usable");
    const bool cold = state.range(0) == 1;
    const KeyIndexFiles files = filesFor(KeyRole::Bar);
    QByteArray rec;
    size_t i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        forgetIndexFreshness();
        if (cold) {
            dropCache(files.goodsFile);
            dropCache(files.sortedFile);
            dropCache(files.indexFile);
        }
        const QByteArray& key = data->present[(i++ * 7919) % data->present.size()];
        state.ResumeTiming();
        if (searchNdx(data->bin, data->goods, KeyRole::Bar, key, rec) < 0)
            state.SkipWithError("not found");
    }
}

void toolFind(benchmark::State& state, const QByteArray& key, int exitCode, const QString& tool = data->tool)
{
    if (!sortedReady())
        state.SkipWithError("sorted files not usable");
    const std::vector<std::string> argv { tool.toStdString(), "--system", data->systemIni.toStdString(), "find",
        "--dir", QFileInfo(data->bin).absolutePath().toStdString(), "--order", "bar-code", key.toStdString() };
    run(argv); // a first run leaves the find plan when there is none yet
    for (auto _ : state) {
        if (run(argv) != exitCode)
            state.SkipWithError("ortova-tool find failed");
    }
}

void sqliteSelect(benchmark::State& state, const QByteArray& key)
{
    if (data->sqlite.isEmpty()) {
        state.SkipWithError("no sqlite3 on the PATH");
        return;
    }
    // The lowest record among equal barcodes, as the goods lookup answers.
    const std::string sql
        = "select rowid - 1, * from goods where bar = '" + key.toStdString() + "' order by rowid limit 1;";
    const std::vector<std::string> argv { data->sqlite.toStdString(), data->database.toStdString(), sql };
    for (auto _ : state) {
        if (run(argv) != 0)
            state.SkipWithError("sqlite3 failed");
    }
}

// What any run of the tool costs before it does anything: starting the process and its libraries.
void BM_ToolHelp(benchmark::State& state)
{
    const std::vector<std::string> argv { data->tool.toStdString(), "--help" };
    for (auto _ : state) {
        if (run(argv) != 0)
            state.SkipWithError("ortova-tool --help failed");
    }
}

void BM_ToolFindHit(benchmark::State& state)
{
    toolFind(state, data->last, 0);
}

// The same lookup through the full tool, which loads Qt (what ortova-tool hands over to).
void BM_FullToolFindHit(benchmark::State& state)
{
    toolFind(state, data->last, 0, data->tool + QStringLiteral("-qt"));
}

void BM_ToolFindMiss(benchmark::State& state)
{
    toolFind(state, Absent, 1);
}

void BM_Sqlite3SelectHit(benchmark::State& state)
{
    sqliteSelect(state, data->last);
}

void BM_Sqlite3SelectMiss(benchmark::State& state)
{
    sqliteSelect(state, Absent);
}

bool makeDatabase()
{
    data->sqlite = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (data->sqlite.isEmpty())
        return true;
    data->database = data->dir.filePath(QStringLiteral("goods.db"));
    const QString script = data->dir.filePath(QStringLiteral("load.sql"));
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write("create table goods(code text, bar text, name text, price text, quant text);\n"
            ".separator ;\n.import "
        + QFile::encodeName(data->text)
        + " goods\ncreate index goods_bar on goods(bar);\ncreate index goods_code on goods(code);\n");
    f.close();
    return run({ data->sqlite.toStdString(), data->database.toStdString() }, script) == 0;
}

} // namespace

BENCHMARK(BM_BuildIndexFiles)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_BuildSortedFiles)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_BuildSortedFilesComparing)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_LookupHit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookupMiss)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstLookupOfRun)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(50)->UseRealTime();
BENCHMARK(BM_ToolHelp)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();
BENCHMARK(BM_ToolFindHit)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();
BENCHMARK(BM_FullToolFindHit)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();
BENCHMARK(BM_Sqlite3SelectHit)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();
BENCHMARK(BM_ToolFindMiss)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();
BENCHMARK(BM_Sqlite3SelectMiss)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();

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
    data->bin = data->dir.filePath(QStringLiteral("GOODS_tvr.bin"));
    data->systemIni = data->dir.filePath(QStringLiteral("OrtSystem.ini"));
    ConvFile conv;
    if (!writeText(data->text, data->lines, data->barOf) || !writeSystemIni(data->systemIni)
        || !conv.ConvertToBin(data->text, data->bin, data->goods) || data->goods.recordCount != data->lines
        || !makeDatabase()) {
        std::fprintf(stderr, "could not prepare the goods table\n");
        return 1;
    }
    // As on a terminal whose goods were loaded earlier: a table an hour old, so that the sorted
    // files built from it are trusted by every process, not only by the one that built them.
    // The settings file too, so that the full tool leaves ortova-tool its find plan (kept in the
    // benchmark's folder).
    for (const QString& file : { data->bin, data->systemIni }) {
        QFile aged(file);
        if (!aged.open(QIODevice::ReadWrite)
            || !aged.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime)) {
            std::fprintf(stderr, "could not age the goods table\n");
            return 1;
        }
    }
    qputenv("XDG_CACHE_HOME", QFile::encodeName(data->dir.filePath(QStringLiteral("cache"))));
    if (!prepareIndexFiles(data->bin, data->goods) || !sortedReady()) {
        std::fprintf(stderr, "could not build the index files\n");
        return 1;
    }
    std::mt19937 rng(7);
    std::uniform_int_distribution<qint64> any(0, data->lines - 1);
    for (int i = 0; i < 4096; ++i)
        data->present.push_back(barcodeOf(any(rng)));
    data->last = barcodeOf(data->barOf.back());
    std::printf("goods: %lld, table %lld bytes, Bar.ndx %lld, Bar.sorted.ndx %lld, Code.sorted.ndx %lld, sqlite3 %s\n",
        static_cast<long long>(data->lines), static_cast<long long>(QFileInfo(data->bin).size()),
        static_cast<long long>(QFileInfo(filesFor(KeyRole::Bar).indexFile).size()),
        static_cast<long long>(QFileInfo(filesFor(KeyRole::Bar).sortedFile).size()),
        static_cast<long long>(QFileInfo(filesFor(KeyRole::Code).sortedFile).size()),
        data->sqlite.isEmpty() ? "absent" : qPrintable(data->sqlite));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
