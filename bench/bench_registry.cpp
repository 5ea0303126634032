#include "BenchMain.h"
#include "SwallowingProxy.h"
#include "app/UnitMenu.h"
#include "draw/DrawPanel.h"
#include "report/Fonts.h"
#include "ui/Prompter.h"
#include "validation/ServerRegistry.h"
#include "validation/ValidationRegistry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <thread>


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

// A ball clicked on the draw computer while its link to the registry's
// server is lost (every packet swallowed, both ends left open) and a desk
// goes on selling: from the click's arrival in the event queue to the end of
// its handling, with 200 ms of the event loop between clicks, as a draw has.
// The server must be reachable over TCP on this machine (127.0.0.1), as the
// relay that swallows the packets stands in front of it.
void BM_BallWhileServerSilent(benchmark::State &state)
{
    const RegistryLocation server = benchServer();
    if (!server.isServer()) {
        state.SkipWithError("BOLARIS_BENCH_REGISTRY not set");
        return;
    }
    {
        ServerRegistry desk(server);
        desk.clear();
        desk.toggleCards(QStringLiteral("A"), 1, 2000);
    }
    test::SwallowingProxy proxy(quint16(server.port));
    QUrl through(server.url);
    through.setHost(QStringLiteral("127.0.0.1"));
    through.setPort(proxy.port());
    qputenv(RegistryLocation::kEnvironment, through.toString().toUtf8());
    QTemporaryDir dir;
    SilentPrompter prompter;
    NoSound quiet;
    TFormMenu window(dir.path(), prompter);
    qunsetenv(RegistryLocation::kEnvironment);
    auto *panel = window.findChild<DrawPanel *>(QStringLiteral("PanelSorteio"));
    panel->setTimeScale(0);
    panel->setSoundPlayer(quiet);
    window.show();
    window.MenuSorteioClick();
    panel->ButtonManualClick(QStringLiteral("ButtonManual"));

    proxy.swallowAll();
    std::atomic<bool> selling{true};
    std::thread desk([&] {
        ServerRegistry other(server);
        for (int card = 1; selling; card = card % 2000 + 1) {
            try {
                other.addCard(QStringLiteral("B"), card);
            } catch (const DatasetError &) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    auto loop = [](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    double total = 0, worst = 0;
    int ball = 0;
    for (auto _ : state) {
        loop(200);
        if (ball == 90) {
            panel->ButtonManualClick(QStringLiteral("ButtonManual"));
            ball = 0;
        }
        const int n = ++ball;
        bool done = false;
        QElapsedTimer t;
        t.start();
        QTimer::singleShot(0, panel, [&, n] {
            panel->P1Click(n);
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        total += seconds;
        worst = std::max(worst, seconds);
    }
    selling = false;
    desk.join();
    state.counters["mean_ms"] = total * 1000 / double(state.iterations());
    state.counters["max_ms"] = worst * 1000;
}
BENCHMARK(BM_BallWhileServerSilent)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

} // namespace

BOLARIS_BENCHMARK_MAIN()
