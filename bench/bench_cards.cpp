#include "BenchMain.h"
#include "report/Fonts.h"
#include "cards/CardGenerator.h"
#include "cards/CardStore.h"
#include "dataset/Dataset.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>


using namespace bolaris;

namespace {

// One folder with the full series B to L file, made once for all benchmarks.
const QString &cardFolder()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        writeSeriesBtoL(dir.path());
        made = true;
    }
    static const QString path = dir.path();
    return path;
}

void BM_FillCardStoreChangedFile(benchmark::State &state)
{
    const QString &dir = cardFolder();
    for (auto _ : state) {
        CardStore store; // a new store has applied no file yet: a full read
        benchmark::DoNotOptimize(store.FillCardStore(dir));
    }
}
BENCHMARK(BM_FillCardStoreChangedFile)->Unit(benchmark::kMillisecond);

void BM_FillCardStoreUnchangedFile(benchmark::State &state)
{
    const QString &dir = cardFolder();
    CardStore store;
    store.FillCardStore(dir);
    for (auto _ : state)
        benchmark::DoNotOptimize(store.FillCardStore(dir));
}
BENCHMARK(BM_FillCardStoreUnchangedFile)->Unit(benchmark::kMicrosecond);

void BM_Generate24000Cards(benchmark::State &state)
{
    for (auto _ : state) {
        CardGenerator generator(1);
        TicketSet used;
        benchmark::DoNotOptimize(generator.generate(kCardCount, used));
    }
}
BENCHMARK(BM_Generate24000Cards)->Unit(benchmark::kMillisecond);

} // namespace

BOLARIS_BENCHMARK_MAIN()
