#include "BenchMain.h"
#include "app/UnitMenu.h"
#include "cards/CardGenerator.h"
#include "cards/UnitCart.h"
#include "dataset/Dataset.h"
#include "game/BallSource.h"
#include "cards/CardStore.h"
#include "game/CompetingSet.h"
#include "game/DrawLog.h"
#include "game/DrawState.h"
#include "game/GameStep.h"
#include "draw/DrawPanel.h"
#include "draw/PlayersDisplay.h"
#include "draw/UnitVenc.h"
#include "draw/MediaMaker.h"
#include "report/Fonts.h"
#include "ui/Prompter.h"
#include "ui/SoundPlayer.h"
#include "validation/ValidationRegistry.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <numeric>
#include <random>

using namespace bolaris;

namespace {

// The main window showing the Draw panel in an electronic draw.
struct Hall {
    QTemporaryDir dir;
    SilentPrompter prompter;
    NoSound quiet;
    SeededBallSource source{2024};
    std::unique_ptr<TFormMenu> window;
    DrawPanel *panel;

    Hall()
    {
        window = std::make_unique<TFormMenu>(dir.path(), prompter);
        panel = window->findChild<DrawPanel *>(QStringLiteral("PanelSorteio"));
        panel->setTimeScale(0);
        panel->setBallSource(source);
        panel->setSoundPlayer(quiet);
        window->show();
        window->MenuSorteioClick();
        panel->ButtonManualClick(QStringLiteral("ButtonEletronico"));
    }
    // One electronic ball; a new draw after the 90th, not timed.
    void ball(benchmark::State &state)
    {
        if (!panel->state().canDrawElectronic()) {
            state.PauseTiming();
            panel->ButtonManualClick(QStringLiteral("ButtonEletronico"));
            state.ResumeTiming();
        }
        panel->ButtonAleaClick();
    }
};

// State change, counters, order text, last ball and board colour of one ball
// event, with an empty winner check.
void BM_BallEvent(benchmark::State &state)
{
    Hall hall;
    for (auto _ : state)
        hall.ball(state);
}
BENCHMARK(BM_BallEvent)->Unit(benchmark::kMicrosecond);

// The same with "Som da pedra" ticked, voices on disk, and the real player,
// which must not wait for an audio device that is not there.
void BM_BallEventWithSound(benchmark::State &state)
{
    Hall hall;
    for (int n = 1; n <= 90; ++n) {
        QFile f(QDir(hall.dir.path()).filePath(QStringLiteral("spbl%1.wav").arg(n)));
        f.open(QIODevice::WriteOnly);
        f.write(MediaMaker::chimeWav());
    }
    EffectSoundPlayer player;
    hall.panel->setSoundPlayer(player);
    hall.panel->findChild<QCheckBox *>(QStringLiteral("CheckSom"))->setChecked(true);
    for (auto _ : state)
        hall.ball(state);
}
BENCHMARK(BM_BallEventWithSound)->Unit(benchmark::kMicrosecond);

// The same with the players' display open, and its picture painted at 1920 x 1080.
void BM_BallEventWithDisplay(benchmark::State &state)
{
    Hall hall;
    hall.panel->findChild<QCheckBox *>(QStringLiteral("CheckTelao"))->click();
    PlayersDisplay *display = hall.panel->playersDisplay();
    display->resize(1920, 1080);
    QImage screen(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        hall.ball(state);
        display->render(&screen);
    }
}
BENCHMARK(BM_BallEventWithDisplay)->Unit(benchmark::kMicrosecond);

// One ball event written to the draw log and committed to disk (on the
// log's own thread in the program).
void BM_DrawLogCommit(benchmark::State &state)
{
    QTemporaryDir dir;
    DrawLogWriter log(dir.path());
    log.startDraw(DrawMode::Electronic);
    int ball = 0;
    for (auto _ : state) {
        ball = ball % 90 + 1;
        if (!log.ball({ball, true, DrawMode::Electronic, QString::number(ball)}, {false, true, false}))
            state.SkipWithError("the log could not be written");
    }
}
BENCHMARK(BM_DrawLogCommit)->Unit(benchmark::kMicrosecond);

// The log of a real evening, made by the game itself: 30 electronic draws of
// 90 balls with 2,500 cards sold (series A 1 to 2,000 and B 1 to 500) and
// every prize switched on at each draw's start. Every competing ticket ends
// full, so from about the 40th ball on thousands of full tickets are
// announced again at every ball. The log is written as the Draw panel writes
// it (one commit per event). Reports its size and rows, the time to write it
// and to read it all back with every announcement rebuilt. With
// BOLARIS_BENCH_EVENING=FOLDER the evening (card file, log) is kept there,
// for timing the tool on it.
void BM_EveningLog(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir scratch;
        const QString kept = qEnvironmentVariable("BOLARIS_BENCH_EVENING");
        const QString dir = kept.isEmpty() ? scratch.path() : kept;
        QDir().mkpath(dir);
        QFile::remove(QDir(dir).filePath(QStringLiteral("Sorteios.cds")));
        writeSeriesBtoL(dir);
        CardStore store;
        if (!store.FillCardStore(dir).error.isEmpty())
            state.SkipWithError("no card store");
        CompetingSet sold;
        for (int card = 1; card <= kCardsPerSeries; ++card)
            sold.addCard('A', card);
        for (int card = 1; card <= 500; ++card)
            sold.addCard('B', card);
        SeededBallSource source(2026);
        GameStep game(store.table());
        QElapsedTimer writing;
        writing.start();
        {
            DrawLogWriter log(dir);
            for (int draw = 0; draw < 30; ++draw) {
                DrawState drawState;
                drawState.start(DrawMode::Electronic);
                game.newDraw(sold);
                game.setSwitches({true, true, true});
                log.startDraw(DrawMode::Electronic, sold);
                while (const std::optional<BallEvent> event = drawState.drawElectronic(source)) {
                    log.ball(*event, game.switches());
                    const GameStep::Result result = game.step(drawState);
                    if (result.report.scanned && (!result.report.lines.isEmpty() || !result.report.winners.isEmpty()))
                        log.scan(result.report);
                }
                log.endDraw();
            }
        }
        state.counters["write_s"] = double(writing.elapsed()) / 1000;
        QElapsedTimer reading;
        reading.start();
        qint64 rows = 0, announced = 0;
        DrawLogAnnouncements announcements;
        DrawLogWriter::forEach(dir, [&](const DrawLogWriter::Entry &e) {
            ++rows;
            if (announcements.take(e))
                announced += announcements.current().winners.size();
        });
        state.counters["log_MB"] = double(QFileInfo(QDir(dir).filePath("Sorteios.cds")).size()) / 1e6;
        state.counters["rows"] = double(rows);
        state.counters["announced"] = double(announced);
        state.counters["read_ms"] = double(reading.elapsed());
    }
}
BENCHMARK(BM_EveningLog)->Unit(benchmark::kSecond)->Iterations(1);

// The tool and sqlite3 on the evening kept by BM_EveningLog in
// BOLARIS_BENCH_EVENING: replaying draw 30 against sqlite3 reading draw 30's
// rows, and listing every draw against sqlite3 reading every row. Each runs
// the whole program, output thrown away; peak memory is reported in MB.
void runProgram(benchmark::State &state, const QString &program, const QStringList &arguments)
{
    const QString dir = qEnvironmentVariable("BOLARIS_BENCH_EVENING");
    if (dir.isEmpty() || !QFileInfo::exists(QDir(dir).filePath(QStringLiteral("Sorteios.cds")))) {
        state.SkipWithError("set BOLARIS_BENCH_EVENING to the folder BM_EveningLog filled");
        return;
    }
    double peak = 0;
    for (auto _ : state) {
        QProcess process;
        process.setWorkingDirectory(dir);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral("/usr/bin/time"), QStringList{QStringLiteral("-f"), QStringLiteral("%M"), program} + arguments);
        if (!process.waitForFinished(600000) || process.exitCode() != 0) {
            state.SkipWithError(qPrintable(QStringLiteral("%1 failed").arg(program)));
            return;
        }
        const QList<QByteArray> err = process.readAllStandardError().trimmed().split('\n');
        peak = std::max(peak, err.last().toDouble() / 1024);
    }
    state.counters["peak_MB"] = peak;
}
void BM_ToolReplayDraw30(benchmark::State &state)
{
    runProgram(state, QStringLiteral(BOLARIS_CLI), {QStringLiteral("replay"), QStringLiteral("--draw"), QStringLiteral("30")});
}
BENCHMARK(BM_ToolReplayDraw30)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_Sqlite3ReadDraw30(benchmark::State &state)
{
    runProgram(state, QStringLiteral("sqlite3"), {QStringLiteral("Sorteios.cds"), QStringLiteral("SELECT * FROM records WHERE f0 = 30")});
}
BENCHMARK(BM_Sqlite3ReadDraw30)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_ToolDrawLog(benchmark::State &state)
{
    runProgram(state, QStringLiteral(BOLARIS_CLI), {QStringLiteral("draw-log")});
}
BENCHMARK(BM_ToolDrawLog)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_Sqlite3ReadLog(benchmark::State &state)
{
    runProgram(state, QStringLiteral("sqlite3"), {QStringLiteral("Sorteios.cds"), QStringLiteral("SELECT * FROM records")});
}
BENCHMARK(BM_Sqlite3ReadLog)->Unit(benchmark::kMillisecond)->UseRealTime();

// A manual ball that makes at least 175 winners in a full hall (full tickets
// announced again), drawn again after being taken back: the whole ball event
// with the draw log, then the main window (board, counters, text box), the
// winners window and the players' display at 1920 x 1080 painted.
void BM_BallEventManyWinners(benchmark::State &state)
{
    QTemporaryDir dir;
    fillFullHall(dir.path());
    SilentPrompter prompter;
    NoSound quiet;
    TFormMenu window(dir.path(), prompter);
    auto *panel = window.findChild<DrawPanel *>(QStringLiteral("PanelSorteio"));
    panel->setTimeScale(0);
    panel->setSoundPlayer(quiet);
    window.show();
    window.FormActivate();
    window.MenuSorteioClick();
    TFormVenc *winners = nullptr;
    for (QObject *o : window.otherWindows())
        if (auto *w = qobject_cast<TFormVenc *>(o))
            winners = w;
    panel->findChild<QCheckBox *>(QStringLiteral("CheckTelao"))->click();
    PlayersDisplay *display = panel->playersDisplay();
    display->resize(1920, 1080);
    panel->ButtonManualClick(QStringLiteral("ButtonManual"));

    std::vector<int> order(90);
    std::iota(order.begin(), order.end(), 1);
    std::shuffle(order.begin(), order.end(), std::mt19937(175));
    int ball = 0;
    for (int b : order) {
        panel->P1Click(b);
        if (winners->WinnersShown() >= 175) {
            ball = b;
            break;
        }
    }
    state.counters["winners"] = winners->WinnersShown();
    state.counters["balls"] = panel->state().DrawnCount();
    QImage main(window.size(), QImage::Format_ARGB32_Premultiplied);
    QImage slots(winners->size(), QImage::Format_ARGB32_Premultiplied);
    QImage screen(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        state.PauseTiming();
        panel->P1Click(ball); // taken back
        panel->drainLog();
        state.ResumeTiming();
        panel->P1Click(ball);
        window.render(&main);
        winners->render(&slots);
        display->render(&screen);
    }
    panel->drainLog();
}
BENCHMARK(BM_BallEventManyWinners)->Unit(benchmark::kMillisecond);

// Painting the whole board of 90 balls, half of them drawn.
void BM_BoardRepaint(benchmark::State &state)
{
    Hall hall;
    for (int i = 0; i < 45; ++i)
        hall.ball(state);
    QWidget *board = hall.panel->findChild<QWidget *>(QStringLiteral("PanelPedras"));
    QImage image(board->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        board->render(&image);
}
BENCHMARK(BM_BoardRepaint)->Unit(benchmark::kMicrosecond);

} // namespace

BOLARIS_BENCHMARK_MAIN()
