#include "BenchMain.h"
#include "app/UnitMenu.h"
#include "cards/CardGenerator.h"
#include "cards/UnitCart.h"
#include "dataset/Dataset.h"
#include "game/BallSource.h"
#include "game/DrawLog.h"
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

// An evening of 30 electronic draws of 90 balls with 2,500 cards sold: from
// the 41st ball on, about 67 new full tickets a ball, each announced again
// at every later ball (two lines and a winner each). Reports the log's size
// and rows, and the time to read it all back with every announcement rebuilt.
void BM_EveningLog(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir dir;
        {
            DrawLogWriter log(dir.path());
            for (int draw = 0; draw < 30; ++draw) {
                log.startDraw(DrawMode::Electronic);
                ScanReport report;
                report.scanned = true;
                int next = 0;
                for (int ball = 1; ball <= 90; ++ball) {
                    log.ball({ball, true, DrawMode::Electronic, QString::number(ball)}, {});
                    if (ball <= 40)
                        continue;
                    for (int n = 0; n < 67; ++n, ++next) {
                        // Announced in card order: new ones fall among the old.
                        const int card = (next * 7919) % 2500 + 1;
                        qsizetype at = 0;
                        while (at < report.winners.size() && report.winners[at].card < card)
                            ++at;
                        report.winners.insert(at, {card, 'A', card * 6 - n % 6});
                        report.prizes.insert(at, QStringLiteral("CARTAO"));
                        report.lines.insert(2 * at, QStringLiteral("CARTELA %1 SERIE A").arg(card));
                        report.lines.insert(2 * at + 1, QStringLiteral("CARTÃO. Cartão %1").arg(card * 6 - n % 6));
                    }
                    log.scan(report);
                }
                log.endDraw();
            }
        }
        QElapsedTimer reading;
        reading.start();
        qint64 rows = 0, announced = 0;
        DrawLogAnnouncements announcements;
        DrawLogWriter::forEach(dir.path(), [&](const DrawLogWriter::Entry &e) {
            ++rows;
            if (!announcements.take(e))
                announced += announcements.current().winners.size();
        });
        state.counters["log_MB"] = double(QFileInfo(QDir(dir.path()).filePath("Sorteios.cds")).size()) / 1e6;
        state.counters["rows"] = double(rows);
        state.counters["read_ms"] = double(reading.elapsed());
        benchmark::DoNotOptimize(announced);
    }
}
BENCHMARK(BM_EveningLog)->Unit(benchmark::kSecond)->Iterations(1);

// A working folder of a full hall: the card file of series B to L, every card
// of the 12 series validated and 2,400 tickets returned.
void prepareFullHall(const QString &dir)
{
    writeSeriesBtoL(dir);
    ValidationRegistry registry(dir);
    registry.open();
    SilentPrompter yes(true);
    for (QChar s : QStringLiteral("ABCDEFGHIJKL"))
        registry.SaiEnter(QString(s), QStringLiteral("1-2000"), yes);
    QRandomGenerator random(2400);
    while (registry.TableValiC().recordCount() < 2400)
        registry.SaiEnterC(QString(QChar(u'A' + int(random.bounded(12)))), QString::number(random.bounded(1, 12001)),
                           yes);
    registry.close();
}

// A manual ball that makes at least 175 winners in a full hall (full tickets
// announced again), drawn again after being taken back: the whole ball event
// with the draw log, then the main window (board, counters, text box), the
// winners window and the players' display at 1920 x 1080 painted.
void BM_BallEventManyWinners(benchmark::State &state)
{
    QTemporaryDir dir;
    prepareFullHall(dir.path());
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
