#include "BenchMain.h"
#include "report/Fonts.h"
#include "ui/Prompter.h"
#include "validation/ValidationRegistry.h"

#include <QCoreApplication>
#include <QTemporaryDir>


using namespace bolaris;

namespace {

// A range entry of 2,000 cards into an empty registry, committed to disk.
void BM_RangeEntry2000(benchmark::State &state)
{
    SilentPrompter yes(true);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        ValidationRegistry registry(dir.path());
        registry.open();
        state.ResumeTiming();
        registry.SaiEnter(QStringLiteral("C"), QStringLiteral("1-2000"), yes);
        state.PauseTiming();
        registry.close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RangeEntry2000)->Unit(benchmark::kMillisecond);

// The reset of a full registry: 24,000 cards and one returned ticket on every
// tenth card, committed to disk.
void BM_ResetFullRegistry(benchmark::State &state)
{
    SilentPrompter yes(true);
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        ValidationRegistry registry(dir.path());
        registry.open();
        for (char s = 'A'; s <= 'L'; ++s) {
            registry.SaiEnter(QString(QLatin1Char(s)), QStringLiteral("1-2000"), yes);
            for (int t = 1; t <= 12000; t += 60)
                registry.SaiEnterC(QString(QLatin1Char(s)), QString::number(t), yes);
        }
        state.ResumeTiming();
        registry.ButtonInivalClick(yes);
        state.PauseTiming();
        registry.close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ResetFullRegistry)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BOLARIS_BENCHMARK_MAIN()
