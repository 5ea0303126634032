#include "BenchMain.h"
#include "report/Fonts.h"
#include "ui/Prompter.h"
#include "validation/ServerRegistry.h"
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
        {
            QTemporaryDir dir;
            ValidationRegistry registry(dir.path());
            registry.open();
            state.ResumeTiming();
            registry.SaiEnter(QStringLiteral("C"), QStringLiteral("1-2000"), yes);
            state.PauseTiming();
            registry.close();
        } // the folder is removed outside the time measured
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
        {
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
        } // the folder is removed outside the time measured
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ResetFullRegistry)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same on a PostgreSQL server: BOLARIS_BENCH_REGISTRY names a scratch
// database (it is emptied), e.g. postgresql://postgres@localhost:5432/bench?host=/run/postgresql
// for the local socket. Without it these two are skipped.
RegistryLocation benchServer() { return RegistryLocation::parse(qEnvironmentVariable("BOLARIS_BENCH_REGISTRY")); }

// One card entered at the Validation panel: one transaction on the server.
void BM_ServerCardEntry(benchmark::State &state)
{
    const RegistryLocation server = benchServer();
    if (!server.isServer()) {
        state.SkipWithError("BOLARIS_BENCH_REGISTRY not set");
        return;
    }
    SilentPrompter yes(true);
    QTemporaryDir dir;
    ValidationRegistry registry(dir.path(), server);
    registry.open();
    registry.ButtonInivalClick(yes);
    int card = 0;
    char series = 'A';
    for (auto _ : state) {
        if (++card > 2000) {
            state.PauseTiming();
            card = 1;
            series = series == 'L' ? 'A' : char(series + 1);
            if (series == 'A')
                registry.ButtonInivalClick(yes);
            state.ResumeTiming();
        }
        registry.SaiEnter(QString(QLatin1Char(series)), QString::number(card), yes);
    }
    registry.ButtonInivalClick(yes);
}
BENCHMARK(BM_ServerCardEntry)->Unit(benchmark::kMicrosecond);

// A range entry of 2,000 cards into an empty registry on the server.
void BM_ServerRangeEntry2000(benchmark::State &state)
{
    const RegistryLocation server = benchServer();
    if (!server.isServer()) {
        state.SkipWithError("BOLARIS_BENCH_REGISTRY not set");
        return;
    }
    SilentPrompter yes(true);
    QTemporaryDir dir;
    ValidationRegistry registry(dir.path(), server);
    registry.open();
    for (auto _ : state) {
        state.PauseTiming();
        registry.ButtonInivalClick(yes);
        state.ResumeTiming();
        registry.SaiEnter(QStringLiteral("C"), QStringLiteral("1-2000"), yes);
    }
    registry.ButtonInivalClick(yes);
}
BENCHMARK(BM_ServerRangeEntry2000)->Unit(benchmark::kMillisecond);

} // namespace

BOLARIS_BENCHMARK_MAIN()
