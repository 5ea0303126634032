// The minutes ("Ata do sorteio") of a real draw of a full hall: cards sold,
// 2% of their tickets returned, every extra prize switched on, drawn
// electronically to the 90th ball as the Draw panel draws (game step and
// draw log), so that every competing ticket ends full. With 2,500 cards sold
// that is 14,700 full-ticket prizes; with all 24,000 cards, 141,120.
#include "BenchMain.h"
#include "cards/CardStore.h"
#include "game/BallSource.h"
#include "game/DrawLog.h"
#include "game/GameStep.h"
#include "game/MinutesReport.h"
#include "report/Fonts.h"
#include "report/ReportLayout.h"
#include "validation/ValidationRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <fstream>
#include <map>
#include <memory>
#include <string>

using namespace bolaris;

namespace {

// The peak resident size since the last reset, in kB.
long peakKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// A folder holding the card file, the registry of `cards` sold cards and the
// log of one such draw; BOLARIS_BENCH_ATA_DIR keeps it (for timing the tool).
QString fullDrawFolder(int cards)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> made;
    const QString kept = qEnvironmentVariable("BOLARIS_BENCH_ATA_DIR");
    QString dir;
    if (!kept.isEmpty()) {
        dir = QDir(kept).filePath(QString::number(cards));
        if (QFile::exists(QDir(dir).filePath(QStringLiteral("Sorteios.cds"))))
            return dir;
        QDir().mkpath(dir);
    } else {
        auto &temporary = made[cards];
        if (temporary)
            return temporary->path();
        temporary = std::make_unique<QTemporaryDir>();
        dir = temporary->path();
    }
    writeSeriesBtoL(dir);
    {
        ValidationRegistry registry(dir);
        registry.open();
        SilentPrompter yes(true);
        for (int first = 1; first <= cards; first += kCardsPerSeries) {
            const int last = std::min(cards, first + kCardsPerSeries - 1);
            registry.SaiEnter(QString(QChar(u'A' + (first - 1) / kCardsPerSeries)),
                              QStringLiteral("1-%1").arg(last - first + 1), yes);
        }
        QRandomGenerator random(cards);
        while (registry.TableValiC().recordCount() < cards * 6 / 50) {
            const int card = int(random.bounded(1, cards + 1));
            registry.SaiEnterC(QString(QChar(u'A' + (card - 1) / kCardsPerSeries)),
                               QString::number(TicketNumber((card - 1) % kCardsPerSeries + 1, 1 + int(random.bounded(6)))),
                               yes);
        }
        CardStore store;
        store.FillCardStore(dir);
        GameStep game(store.table());
        game.newDraw(CompetingSet::fromRegistry(registry.TableVali(), registry.TableValiC()));
        game.setSwitches({true, true, true});
        DrawLogWriter log(dir);
        DrawState draw;
        draw.start(DrawMode::Electronic);
        log.startDraw(DrawMode::Electronic, game.competing());
        SeededBallSource source(cards);
        while (draw.canDrawElectronic()) {
            const std::optional<BallEvent> event = draw.drawElectronic(source);
            log.ball(*event, game.switches());
            log.scan(game.step(draw).report);
        }
        log.endDraw();
        registry.close();
    }
    return dir;
}

// Reading the draw from the log, replaying it and laying out its ata.
void BM_AtaOfFullDraw(benchmark::State &state)
{
    const QString dir = fullDrawFolder(int(state.range(0)));
    CardStore store;
    store.FillCardStore(dir);
    for (auto _ : state) {
        resetPeak();
        const long before = peakKb();
        const MinutesReport report = MinutesReport::ofDraws(dir, {1}, MinutesReport::drawTitle(1), store.table(), {});
        state.counters["pages"] = report.pageCount();
        state.counters["peak_growth_MB"] = double(peakKb() - before) / 1024;
    }
}
BENCHMARK(BM_AtaOfFullDraw)->Arg(2500)->Arg(24000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Writing that ata as PDF.
void BM_AtaPdf(benchmark::State &state)
{
    const QString dir = fullDrawFolder(int(state.range(0)));
    CardStore store;
    store.FillCardStore(dir);
    MinutesReport report = MinutesReport::ofDraws(dir, {1}, MinutesReport::drawTitle(1), store.table(), {});
    const ReportData data = report.takeData();
    const QString pdf = QDir(dir).filePath(QStringLiteral("ata.pdf"));
    for (auto _ : state) {
        resetPeak();
        const long before = peakKb();
        writePdf(pdf, report.definition(), data);
        state.counters["peak_growth_MB"] = double(peakKb() - before) / 1024;
        state.counters["pdf_MB"] = double(QFile(pdf).size()) / 1e6;
    }
}
BENCHMARK(BM_AtaPdf)->Arg(2500)->Arg(24000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BOLARIS_BENCHMARK_MAIN();
