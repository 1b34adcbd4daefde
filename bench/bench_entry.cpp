// Data entry at full size: a goods table of 1,000,000 items with its index files and a result
// table of 10,000 lines. Measures, through the real controller and panel (offscreen), a barcode
// entered until its item is on screen, and a quantity entered until the booking is on stable
// storage. The figures go into BENCHMARKS.md.
//
// Run: build/bench/bench_entry [--benchmark_filter=...]. ORTOVA_BENCH_GOODS changes the goods count.

#include "AppState.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "FieldCodec.h"
#include "Index.h"
#include "SettingsFiles.h"
#include "TableFiles.h"
#include "Vvod.h"
#include "VvodPanelWin.h"

#include "BenchData.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

// Answers "Справочник остатков уже есть" with "Продолжить"; no other box is expected.
class Continue : public DialogResponder {
public:
    void message(int, const QString& title, const QString& text) override
    {
        std::fprintf(stderr, "box: %s / %s\n", qPrintable(title), qPrintable(text));
    }
    int choice(const QString&, const QString&, const QString&, const QString&) override { return 0; }
};

struct Setup {
    QTemporaryDir dir;
    qint64 goods = 1000000;
    Continue responder;
    std::unique_ptr<Vvod> vvod;

    bool build()
    {
        if (const QByteArray n = qgetenv("ORTOVA_BENCH_GOODS"); !n.isEmpty())
            goods = n.toLongLong();
        if (!getIniFile(QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/OrtSystem.ini")))
            return false;
        AppState& state = appState();
        state.appDir = state.workDir = QFile::encodeName(dir.path());
        state.user.vvod.quantityIncr = 1000;
        state.user.vvod.enSumDocum = true;
        state.user.vvod.enSumRepeated = false;
        state.user.vvod.searchOrder = 2; // barcode, then code
        state.user.vvod.vvodPanel = 0;
        QDir::setCurrent(dir.path());

        TableDescr& tvr = *descrRegistry().table("TVR");
        TableDescr& res = *descrRegistry().table("RES");
        const auto fill = [](const TableDescr& t, QByteArray& record, const char* name, const QByteArray& value) {
            textToField(t.fields[t.fieldIndex(name)], value, record);
        };
        QFile goodsFile(binFileName(tvr));
        if (!goodsFile.open(QIODevice::WriteOnly))
            return false;
        QByteArray record = defaultRecord(tvr);
        QByteArray block;
        for (qint64 i = 0; i < goods; ++i) {
            fill(tvr, record, "CODE", QByteArray::number(100000 + i % 900000));
            fill(tvr, record, "BAR", barcodeOf(i));
            fill(tvr, record, "PRICE", QByteArray::number(i % 1000) + ".50");
            block += record;
            if (block.size() > (1 << 20)) {
                goodsFile.write(block);
                block.clear();
            }
        }
        goodsFile.write(block);
        goodsFile.close();
        if (!prepareIndexFiles(binFileName(tvr), tvr))
            return false;

        QFile resultFile(binFileName(res));
        if (!resultFile.open(QIODevice::WriteOnly))
            return false;
        QByteArray line = defaultRecord(res);
        for (qint64 i = 0; i < 10000; ++i) {
            fill(res, line, "BAR", barcodeOf(i * 97 % goods));
            fill(res, line, "PRICE", "10.00");
            fill(res, line, "REST", "1.000");
            resultFile.write(line);
        }
        resultFile.close();
        setDialogResponder(&responder);
        vvod = std::make_unique<Vvod>();
        vvod->vvMainMainCall();
        return vvod->panel() != nullptr;
    }
};

Setup* g_setup = nullptr;

// A barcode near the end of the goods table until its item is shown with the quantity awaited.
void BM_ScanToItemShown(benchmark::State& state)
{
    Vvod& vvod = *g_setup->vvod;
    qint64 i = g_setup->goods - 1;
    for (auto _ : state) {
        vvod.vvBarRead(QString::fromLatin1(barcodeOf(i)));
        if (!vvod.awaitingQuantity()) {
            state.SkipWithError("item not found");
            break;
        }
        state.PauseTiming();
        vvod.vvCancel(); // clears the entry
        i = i > 1000 ? i - 997 : g_setup->goods - 1;
        state.ResumeTiming();
    }
}

// A quantity confirmed until the booking is flushed to stable storage and the panel refreshed.
void BM_QuantityToDurable(benchmark::State& state)
{
    Vvod& vvod = *g_setup->vvod;
    qint64 i = 12345;
    for (auto _ : state) {
        state.PauseTiming();
        vvod.vvBarRead(QString::fromLatin1(barcodeOf(i)));
        vvod.panel()->setRestText(QStringLiteral("2"));
        const qint32 before = vvod.resultCount();
        state.ResumeTiming();
        vvod.vvCntOk();
        if (vvod.resultCount() != before + 1) {
            state.SkipWithError("booking failed");
            break;
        }
        i = (i + 7919) % g_setup->goods;
    }
}

BENCHMARK(BM_ScanToItemShown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantityToDurable)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Setup setup;
    if (!setup.build()) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    g_setup = &setup;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    setup.vvod.reset();
    setDialogResponder(nullptr);
    return 0;
}
