#include "BenchMain.h"
#include "cards/CardStore.h"
#include "export/CardExport.h"
#include "report/Fonts.h"

#include <QTemporaryDir>

using namespace bolaris;

namespace {

// "Gera" for all 2,000 cards of a series: TableGraf built and written to
// "cartgraf.cds", "CARTGRAF.CSV" laid out and written.
void exportSeries(benchmark::State &state, const char *perSheet)
{
    QTemporaryDir dir;
    CardStore store;
    store.FillCardStore(dir.path());
    CardExport exporter(dir.path());
    SilentPrompter silent;
    const ExportRequest request{QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("2000"),
                                QString::fromLatin1(perSheet), QStringLiteral("X")};
    for (auto _ : state)
        if (exporter.exportCards(request, store.table(), silent) != CardExport::Outcome::Written)
            state.SkipWithError("export failed");
}

void BM_Export2000Cards(benchmark::State &state) { exportSeries(state, "1"); }
BENCHMARK(BM_Export2000Cards)->Unit(benchmark::kMillisecond);

void BM_Export2000Cards9PerSheet(benchmark::State &state) { exportSeries(state, "9"); }
BENCHMARK(BM_Export2000Cards9PerSheet)->Unit(benchmark::kMillisecond);

} // namespace

BOLARIS_BENCHMARK_MAIN()
