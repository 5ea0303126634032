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
        Dataset table(QStringLiteral("TableCompl"));
        table.setDirectory(dir.path());
        table.setFileName(QStringLiteral("compl22.cds"));
        table.addFieldDef(QStringLiteral("Cartela"), FieldType::Integer);
        table.addFieldDef(QStringLiteral("Todas"), FieldType::String, kCardTextLength);
        table.createDataset();
        int index = kCardsPerSeries + 1;
        for (const std::string &card : GenerateSeriesBtoL()) {
            table.append();
            table.setValue(0, index++);
            table.setValue(1, QString::fromLatin1(card.data(), qsizetype(card.size())));
            table.post();
        }
        table.close();
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
