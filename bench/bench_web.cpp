#include "BenchMain.h"
#include "app/UnitMenu.h"
#include "game/BallSource.h"
#include "draw/DrawPanel.h"
#include "report/Fonts.h"
#include "ui/SoundPlayer.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWebSocket>

#include <memory>
#include <vector>

using namespace bolaris;

namespace {

// 1,000 phones on the live feed of the real main window in an electronic draw.
struct Hall {
    QTemporaryDir dir;
    SilentPrompter prompter;
    NoSound quiet;
    SeededBallSource source{2024};
    std::unique_ptr<TFormMenu> window;
    DrawPanel *panel;
    std::vector<std::unique_ptr<QWebSocket>> phones;
    std::vector<int> seen; // the drawn count each phone last heard
    int behind = 0;        // phones that have not heard the latest count

    explicit Hall(int clients)
    {
        qputenv("BOLARIS_WEB_PORT", "0");
        window = std::make_unique<TFormMenu>(dir.path(), prompter);
        panel = window->findChild<DrawPanel *>(QStringLiteral("PanelSorteio"));
        panel->setTimeScale(0);
        panel->setBallSource(source);
        panel->setSoundPlayer(quiet);
        window->show();
        window->MenuSorteioClick();
        auto *box = panel->findChild<QCheckBox *>(QStringLiteral("CheckCelulares"));
        box->click();
        const QString address = box->toolTip().section(QStringLiteral("http://"), 1);
        const QString port = address.section(QLatin1Char(':'), 1).section(QLatin1Char('/'), 0, 0);
        const QUrl url(QStringLiteral("ws://127.0.0.1:%1/ao-vivo").arg(port));
        seen.assign(size_t(clients), -1);
        int opened = 0;
        static const QRegularExpression count(QStringLiteral("\"sorteadas\":(\\d+)"));
        for (int i = 0; i < clients; ++i) {
            auto ws = std::make_unique<QWebSocket>();
            QObject::connect(ws.get(), &QWebSocket::textMessageReceived, [this, i, &opened](const QString &m) {
                if (seen[size_t(i)] < 0)
                    ++opened;
                seen[size_t(i)] = count.match(m).captured(1).toInt();
                --behind;
            });
            ws->open(url);
            phones.push_back(std::move(ws));
        }
        QElapsedTimer t;
        t.start();
        while (opened < clients && t.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (opened < clients)
            qFatal("only %d of %d phones connected", opened, clients);
        panel->ButtonManualClick(QStringLiteral("ButtonEletronico"));
        waitForAll();
    }

    void waitForAll()
    {
        const int want = panel->state().DrawnCount();
        QElapsedTimer t;
        t.start();
        for (;;) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            bool all = true;
            for (int s : seen)
                if (s != want) {
                    all = false;
                    break;
                }
            if (all || t.elapsed() > 30000)
                return;
        }
    }
};

// One electronic ball with 1,000 phones on the live feed: the time until the
// last phone has the ball (manual time), and the ball event's own time on the
// user-interface thread (counter ui_ms).
void BM_BallToThousandPhones(benchmark::State &state)
{
    Hall hall(int(state.range(0)));
    double uiTotal = 0;
    double uiMax = 0;
    for (auto _ : state) {
        if (!hall.panel->state().canDrawElectronic()) {
            hall.panel->ButtonManualClick(QStringLiteral("ButtonEletronico"));
            hall.waitForAll();
        }
        QElapsedTimer t;
        t.start();
        hall.panel->ButtonAleaClick();
        const double ui = double(t.nsecsElapsed()) / 1e6;
        hall.waitForAll();
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        uiTotal += ui;
        uiMax = std::max(uiMax, ui);
    }
    state.counters["ui_ms"] = uiTotal / double(state.iterations());
    state.counters["ui_max_ms"] = uiMax;
}
BENCHMARK(BM_BallToThousandPhones)->Arg(1)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

} // namespace

BOLARIS_BENCHMARK_MAIN()
