#include "BenchMain.h"
#include "cards/CardStore.h"
#include "app/UnitMenu.h"
#include "game/BallSource.h"
#include "draw/DrawPanel.h"
#include "report/Fonts.h"
#include "ui/SoundPlayer.h"
#include "web/HostileClient.h"
#include "web/WebServer.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
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
        // The phones all come from this machine's address here.
        WebLimits limits;
        limits.maxPerAddress = limits.maxConnections;
        window->webServer().setLimits(limits);
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

// The program's memory while hostile clients attack the web server, each
// sending as much as the server takes and reading nothing: the growth of the
// resident size over the server at rest (counter rss_mb), what the server
// counts as kept for clients (held_mb) and the most for one client
// (largest_kb). /0: 16 connections from one address, each pipelining 2,000
// requests for the page's font with a 4 kB receive buffer; /1: 16 posting a
// body of 100 GB with a blank line every 4 kB; /2: 16 live clients pinging
// (125-byte pings) without reading the pongs; /3: 1,000 connections from 63
// addresses pipelining font requests.
void BM_HostileClients(benchmark::State &state)
{
    const int kind = int(state.range(0));
    CartelaTable cards;
    for (auto _ : state) {
        WebServer server(cards);
        if (!server.start().isEmpty()) {
            state.SkipWithError("no port");
            return;
        }
        const qint64 before = test::residentBytes();
        const QByteArray font = "GET /LiberationSans-Bold.ttf HTTP/1.1\r\nHost: x\r\n\r\n";
        QByteArray head, stream;
        qint64 budget = 64 << 20;
        switch (kind) {
        case 0:
        case 3:
            stream = font.repeated(2000);
            budget = stream.size();
            break;
        case 1:
            head = "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000000\r\n\r\n";
            stream = (QByteArray(4092, 'x') + "\r\n\r\n").repeated(16);
            break;
        default:
            head = test::kUpgrade;
            stream = test::clientFrame(9, QByteArray(125, 'p')).repeated(256);
            break;
        }
        const int count = kind == 3 ? 1000 : 16;
        std::vector<std::unique_ptr<test::RawClient>> clients;
        std::vector<qint64> sent(size_t(count), 0);
        for (int i = 0; i < count; ++i) {
            const QByteArray from = "127.0.0." + QByteArray::number(kind == 3 ? 10 + i % 63 : 10);
            clients.push_back(std::make_unique<test::RawClient>(server.port(), 4096, from.constData()));
            clients.back()->send(head);
        }
        for (int quiet = 0; quiet < 50;) {
            bool moved = false;
            for (int i = 0; i < count; ++i) {
                if (sent[size_t(i)] >= budget || sent[size_t(i)] < 0)
                    continue;
                const qint64 n = clients[size_t(i)]->send(
                    QByteArrayView(stream).sliced(sent[size_t(i)] % stream.size(),
                                                  std::min<qint64>(stream.size() - sent[size_t(i)] % stream.size(),
                                                                   budget - sent[size_t(i)])));
                sent[size_t(i)] = n < 0 ? -1 : sent[size_t(i)] + n;
                moved = moved || n > 0;
            }
            quiet = moved ? 0 : quiet + 1;
            if (!moved)
                QThread::msleep(10);
        }
        const WebServer::Held held = server.held();
        state.counters["rss_mb"] = double(test::residentBytes() - before) / (1 << 20);
        state.counters["held_mb"] = double(held.total) / (1 << 20);
        state.counters["largest_kb"] = double(held.largest) / 1024;
    }
}
BENCHMARK(BM_HostileClients)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BOLARIS_BENCHMARK_MAIN()
