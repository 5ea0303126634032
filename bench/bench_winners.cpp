#include "BenchMain.h"
#include "cards/CardGenerator.h"
#include "cards/CardStore.h"
#include "game/DrawState.h"
#include "game/PlainScan.h"
#include "game/WinnerScan.h"
#include "report/Fonts.h"
#include "validation/ValidationRegistry.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <numeric>
#include <random>

using namespace bolaris;

namespace {

// A full registry: every card of the 12 series validated, 2,400 tickets returned.
struct FullHall {
    QTemporaryDir dir;
    CartelaTable cards;
    ValidationRegistry registry{dir.path()};

    FullHall()
    {
        cards.storeSeriesA();
        const std::vector<std::string> others = GenerateSeriesBtoL();
        for (size_t i = 0; i < others.size(); ++i)
            cards.store(kCardsPerSeries + int(i) + 1, others[i]);
        registry.open();
        SilentPrompter yes(true);
        for (QChar s : QStringLiteral("ABCDEFGHIJKL"))
            registry.SaiEnter(QString(s), QStringLiteral("1-2000"), yes);
        QRandomGenerator random(2400);
        while (registry.TableValiC().recordCount() < 2400)
            registry.SaiEnterC(QString(QChar(u'A' + int(random.bounded(12)))),
                               QString::number(random.bounded(1, 12001)), yes);
    }
    static FullHall &get()
    {
        static FullHall hall;
        return hall;
    }
    // A draw with the given number of balls, the same for every run.
    static DrawState drawOf(int balls)
    {
        DrawState draw;
        draw.start(DrawMode::Manual);
        std::vector<int> order(90);
        std::iota(order.begin(), order.end(), 1);
        std::shuffle(order.begin(), order.end(), std::mt19937(balls));
        for (int i = 0; i < balls; ++i)
            draw.clickManual(order[size_t(i)]);
        return draw;
    }
};

PrizeSwitches switchesOf(int code) { return code ? PrizeSwitches{true, true, true} : PrizeSwitches{}; }

// One ball event and its scan, as the Draw panel runs them, around the given
// count of balls: the index already made, each event alternately draws a
// ball not drawn and takes a drawn one back, a different one each time.
void BM_Scan(benchmark::State &state)
{
    FullHall &hall = FullHall::get();
    WinnerScan scan(hall.cards, hall.registry.TableVali(), hall.registry.TableValiC());
    DrawState draw = FullHall::drawOf(int(state.range(0)));
    const PrizeSwitches switches = switchesOf(int(state.range(1)));
    scan.CheckWinners(draw, switches);
    int next = 0;
    qsizetype winners = 0, fewest = 0;
    bool takeBack = false; // the count stays at or above the given one: every event is scanned
    for (auto _ : state) {
        // The next ball (in a cycle over the board) that is drawn, or not drawn.
        do
            next = next % DrawState::kBalls + 1;
        while (draw.drawn(next) != takeBack);
        draw.clickManual(next);
        takeBack = !takeBack;
        const ScanReport report = scan.CheckWinners(draw, switches);
        winners += report.winners.size();
        fewest += report.fewest.size();
    }
    state.counters["winners"] = benchmark::Counter(double(winners), benchmark::Counter::kAvgIterations);
    state.counters["fewest"] = benchmark::Counter(double(fewest), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Scan)->Args({10, 0})->Args({30, 0})->Args({60, 0})->Args({10, 1})->Unit(benchmark::kMicrosecond);

// The first scan after the registry or the card store changed: the index is made again.
void BM_ScanAfterChange(benchmark::State &state)
{
    FullHall &hall = FullHall::get();
    WinnerScan scan(hall.cards, hall.registry.TableVali(), hall.registry.TableValiC());
    DrawState draw = FullHall::drawOf(30);
    const std::string card(hall.cards.entry(1));
    for (auto _ : state) {
        hall.cards.store(1, card); // same text, new generation
        benchmark::DoNotOptimize(scan.CheckWinners(draw, {}));
    }
}
BENCHMARK(BM_ScanAfterChange)->Unit(benchmark::kMillisecond);

// The baseline: each card text decoded and each ticket looked up in the
// returned tickets' dataset at every scan.
void BM_PlainScan(benchmark::State &state)
{
    FullHall &hall = FullHall::get();
    test::PlainScan plain;
    DrawState draw = FullHall::drawOf(int(state.range(0)));
    const PrizeSwitches switches = switchesOf(int(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            plain.CheckWinners(hall.cards, hall.registry.TableVali(), hall.registry.TableValiC(), draw, switches));
}
BENCHMARK(BM_PlainScan)->Args({10, 0})->Args({30, 0})->Args({60, 0})->Args({10, 1})->Unit(benchmark::kMillisecond);

} // namespace

BOLARIS_BENCHMARK_MAIN()
