#include "BenchMain.h"
#include "cards/CardStore.h"
#include "app/UnitMenu.h"
#include "game/BallSource.h"
#include "draw/DrawPanel.h"
#include "report/Fonts.h"
#include "ui/SoundPlayer.h"
#include "web/HostileClient.h"
#include "web/LiveDraw.h"
#include "web/WebServer.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QThread>

#include <array>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace bolaris;

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Phones and the floor below together hold two sockets a phone.
void allowOpenFiles()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Phones on the live feed: plain sockets read by a thread of their own
// through epoll, so that what is timed is the server's sending and not the
// phones' reading. Each upgrades with a real handshake, then notes when it
// first hears a text frame holding the awaited text.
class Phones {
public:
    Phones(quint16 port, int count) : m_phones(size_t(count))
    {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        m_stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        epoll_event stop{EPOLLIN, {.ptr = nullptr}};
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_stop, &stop);
        m_thread = std::thread([this] { run(); });
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(port);
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const QByteArray upgrade = "GET /ao-vivo HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                                   "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                   "Sec-WebSocket-Version: 13\r\n\r\n";
        for (Phone &p : m_phones) {
            p.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (::connect(p.fd, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0)
                qFatal("a phone could not connect: %s", strerror(errno));
            ::fcntl(p.fd, F_SETFL, ::fcntl(p.fd, F_GETFL) | O_NONBLOCK);
            epoll_event e{EPOLLIN, {.ptr = &p}};
            ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, p.fd, &e);
            ::send(p.fd, upgrade.constData(), size_t(upgrade.size()), MSG_NOSIGNAL);
        }
        std::unique_lock lock(m_mutex);
        if (!m_done.wait_for(lock, std::chrono::seconds(60), [&] { return m_upgraded == count; }))
            qFatal("only %d of %d phones were upgraded", m_upgraded, count);
    }
    ~Phones()
    {
        ::eventfd_write(m_stop, 1);
        m_thread.join();
        for (const Phone &p : m_phones)
            ::close(p.fd);
        ::close(m_stop);
        ::close(m_epoll);
    }

    struct Heard {
        Clock::time_point first, last;
    };
    // Arms the phones for a frame holding text; call before the ball.
    void await(const QByteArray &text)
    {
        std::lock_guard lock(m_mutex);
        m_text = text;
        m_heard = 0;
        for (Phone &p : m_phones)
            p.heard = false;
    }
    // When the first and the last phone heard it; nothing when some did not within 30 s.
    std::optional<Heard> wait()
    {
        std::unique_lock lock(m_mutex);
        if (!m_done.wait_for(lock, std::chrono::seconds(30), [&] { return m_heard == int(m_phones.size()); }))
            return std::nullopt;
        return Heard{m_first, m_last};
    }

private:
    struct Phone {
        int fd = -1;
        QByteArray in;
        bool upgraded = false;
        bool heard = false;
    };

    void run()
    {
        pthread_setname_np(pthread_self(), "phones");
        std::array<epoll_event, 256> events;
        for (;;) {
            const int n = ::epoll_wait(m_epoll, events.data(), int(events.size()), -1);
            std::lock_guard lock(m_mutex);
            for (int i = 0; i < n; ++i) {
                if (!events[size_t(i)].data.ptr)
                    return;
                read(*static_cast<Phone *>(events[size_t(i)].data.ptr));
            }
        }
    }

    void read(Phone &p)
    {
        char buffer[16384];
        ssize_t n;
        while ((n = ::recv(p.fd, buffer, sizeof buffer, 0)) > 0)
            p.in.append(buffer, n);
        if (!p.upgraded) {
            const qsizetype end = p.in.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            if (!p.in.startsWith("HTTP/1.1 101"))
                qFatal("a phone was not upgraded: %s", p.in.constData());
            p.in.remove(0, end + 4);
            p.upgraded = true;
            if (++m_upgraded == int(m_phones.size()))
                m_done.notify_all();
        }
        // Frames from the server: not masked, a length of 7, 16 or 64 bits.
        for (;;) {
            if (p.in.size() < 2)
                return;
            const auto *b = reinterpret_cast<const uchar *>(p.in.constData());
            qsizetype at = 2;
            quint64 length = b[1] & 0x7f;
            if (length >= 126) {
                const int bytes = length == 126 ? 2 : 8;
                if (p.in.size() < 2 + bytes)
                    return;
                length = 0;
                for (int i = 0; i < bytes; ++i)
                    length = length << 8 | b[2 + i];
                at += bytes;
            }
            if (quint64(p.in.size() - at) < length)
                return;
            if ((b[0] & 0x0f) == 1 && !p.heard && !m_text.isEmpty() &&
                QByteArrayView(p.in).sliced(at, qsizetype(length)).contains(m_text)) {
                p.heard = true;
                const Clock::time_point now = Clock::now();
                if (m_heard == 0)
                    m_first = now;
                m_last = now;
                if (++m_heard == int(m_phones.size()))
                    m_done.notify_all();
            }
            p.in.remove(0, at + qsizetype(length));
        }
    }

    std::vector<Phone> m_phones;
    int m_epoll = -1;
    int m_stop = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_done;
    int m_upgraded = 0;
    QByteArray m_text;
    int m_heard = 0;
    Clock::time_point m_first, m_last;
};

// The floor: a minimal broadcaster on epoll in a thread of its own. It
// answers the upgrade as the protocol asks (the key's SHA-1) and, for a
// ball, makes one frame and writes it to every client with one write().
class FloorBroadcaster {
public:
    FloorBroadcaster()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
            ::listen(m_listener, SOMAXCONN) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            qFatal("the floor could not listen");
        m_port = ntohs(address.sin_port);
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        m_ball = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        epoll_event listen{EPOLLIN, {.fd = m_listener}};
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listener, &listen);
        epoll_event ball{EPOLLIN, {.fd = m_ball}};
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_ball, &ball);
        m_thread = std::thread([this] { run(); });
    }
    ~FloorBroadcaster()
    {
        send({});
        m_thread.join();
        for (const auto &[fd, head] : m_heads)
            ::close(fd);
        for (int fd : m_live)
            ::close(fd);
        ::close(m_listener);
        ::close(m_ball);
        ::close(m_epoll);
    }

    quint16 port() const { return m_port; }
    double sendMs = 0; // in the send loops: the phones keep up when it is close to the whole
    // Sends text to every client; an empty text ends the broadcaster.
    void send(const QByteArray &text)
    {
        {
            std::lock_guard lock(m_mutex);
            m_text = text;
        }
        ::eventfd_write(m_ball, 1);
    }

private:
    void run()
    {
        pthread_setname_np(pthread_self(), "floor");
        std::array<epoll_event, 256> events;
        for (;;) {
            const int n = ::epoll_wait(m_epoll, events.data(), int(events.size()), -1);
            for (int i = 0; i < n; ++i) {
                const int fd = events[size_t(i)].data.fd;
                if (fd == m_ball) {
                    if (!broadcast())
                        return;
                } else if (fd == m_listener) {
                    int client;
                    while ((client = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
                        const int on = 1; // as the program's server: no frame waits for an earlier one's ack
                        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                        epoll_event e{EPOLLIN, {.fd = client}};
                        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, client, &e);
                        m_heads[client];
                    }
                } else {
                    handshake(fd);
                }
            }
        }
    }

    void handshake(int fd)
    {
        QByteArray &head = m_heads[fd];
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            head.append(buffer, n);
        if (!head.contains("\r\n\r\n"))
            return;
        QByteArray key;
        for (const QByteArray &line : head.split('\n'))
            if (line.toLower().startsWith("sec-websocket-key:"))
                key = line.mid(18).trimmed();
        const QByteArray accept =
            QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11", QCryptographicHash::Sha1)
                .toBase64();
        const QByteArray answer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                  "Sec-WebSocket-Accept: " +
                                  accept + "\r\n\r\n";
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        m_heads.erase(fd);
        if (::write(fd, answer.constData(), size_t(answer.size())) == answer.size())
            m_live.push_back(fd);
        else
            ::close(fd);
    }

    bool broadcast()
    {
        eventfd_t count;
        ::eventfd_read(m_ball, &count);
        QByteArray text;
        {
            std::lock_guard lock(m_mutex);
            text = m_text;
        }
        if (text.isEmpty())
            return false;
        QByteArray frame(1, char(0x81));
        if (text.size() < 126) {
            frame += char(text.size());
        } else {
            frame += char(126);
            frame += char(text.size() >> 8);
            frame += char(text.size() & 0xff);
        }
        frame += text;
        const auto t0 = Clock::now();
        for (int fd : m_live)
            if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size())
                qFatal("the floor could not write a whole frame");
        sendMs += msBetween(t0, Clock::now());
        return true;
    }

    int m_listener = -1;
    quint16 m_port = 0;
    int m_epoll = -1;
    int m_ball = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    QByteArray m_text;
    std::map<int, QByteArray> m_heads; // clients before their upgrade
    std::vector<int> m_live;
};

// What the floor sends for its ball n: the program's own state after n
// balls of an electronic draw, so that both send the same bytes.
QByteArray stateAfter(int balls)
{
    DisplayBoard board;
    for (int n = 1; n <= balls; ++n)
        board.drawn[size_t(n)] = true;
    board.count = balls;
    board.last = balls;
    LiveDraw live;
    live.update(board, DrawMode::Electronic, {}, {});
    return live.json();
}

QByteArray heardCount(int drawn) { return "\"sorteadas\":" + QByteArray::number(drawn) + ','; }

// Frames every phone hears before the timing starts, in both benchmarks: a
// connection's first frames are acknowledged at once, later ones together,
// and a phone in the hall has heard many balls.
constexpr int kWarmUpFrames = 20;

// Phones on the live feed of the real main window in an electronic draw.
struct Hall {
    QTemporaryDir dir;
    SilentPrompter prompter;
    NoSound quiet;
    SeededBallSource source{2024};
    std::unique_ptr<TFormMenu> window;
    DrawPanel *panel;
    std::unique_ptr<Phones> phones;

    explicit Hall(int clients)
    {
        allowOpenFiles();
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
        panel->findChild<QCheckBox *>(QStringLiteral("CheckCelulares"))->click();
        phones = std::make_unique<Phones>(window->webServer().port(), clients);
        phones->await("\"emAndamento\":true");
        panel->ButtonManualClick(QStringLiteral("ButtonEletronico"));
        if (!phones->wait())
            qFatal("the phones did not hear the draw start");
        settle();
        for (int ball = 1; ball <= kWarmUpFrames; ++ball) {
            phones->await(heardCount(ball));
            panel->ButtonAleaClick();
            if (!phones->wait())
                qFatal("the phones did not hear ball %d", ball);
            settle();
        }
    }

    // The user-interface thread's posted work, done between balls.
    static void settle()
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

// One electronic ball with the phones on the live feed (draw log on): the
// time from the click until the last phone has the ball (manual time), until
// the first has it (counter first_ms), and the ball event's own time on the
// user-interface thread (counters ui_ms, ui_max_ms).
void BM_BallToPhones(benchmark::State &state)
{
    Hall hall(int(state.range(0)));
    double uiTotal = 0, uiMax = 0, firstTotal = 0;
    for (auto _ : state) {
        if (!hall.panel->state().canDrawElectronic()) {
            state.SkipWithError("the draw ended");
            return;
        }
        hall.phones->await(heardCount(hall.panel->state().DrawnCount() + 1));
        const Clock::time_point start = Clock::now();
        hall.panel->ButtonAleaClick();
        const double ui = msBetween(start, Clock::now());
        const std::optional<Phones::Heard> heard = hall.phones->wait();
        if (!heard) {
            state.SkipWithError("a phone missed the ball");
            return;
        }
        state.SetIterationTime(msBetween(start, heard->last) / 1e3);
        firstTotal += msBetween(start, heard->first);
        uiTotal += ui;
        uiMax = std::max(uiMax, ui);
        Hall::settle();
    }
    state.counters["first_ms"] = firstTotal / double(state.iterations());
    state.counters["ui_ms"] = uiTotal / double(state.iterations());
    state.counters["ui_max_ms"] = uiMax;
}
BENCHMARK(BM_BallToPhones)->Arg(1000)->Arg(2000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

// The floor of BM_BallToPhones: the same phones and the same bytes, from the
// moment the floor broadcaster is handed a ball.
void BM_BallToPhonesFloor(benchmark::State &state)
{
    allowOpenFiles();
    FloorBroadcaster floor;
    Phones phones(floor.port(), int(state.range(0)));
    int drawn = 0;
    for (; drawn < kWarmUpFrames; ++drawn) {
        phones.await(heardCount(drawn + 1));
        floor.send(stateAfter(drawn + 1));
        if (!phones.wait())
            qFatal("the phones did not hear the floor");
    }
    floor.sendMs = 0;
    double firstTotal = 0;
    for (auto _ : state) {
        const QByteArray text = stateAfter(++drawn);
        phones.await(heardCount(drawn));
        const Clock::time_point start = Clock::now();
        floor.send(text);
        const std::optional<Phones::Heard> heard = phones.wait();
        if (!heard) {
            state.SkipWithError("a phone missed the ball");
            return;
        }
        state.SetIterationTime(msBetween(start, heard->last) / 1e3);
        firstTotal += msBetween(start, heard->first);
    }
    state.counters["first_ms"] = firstTotal / double(state.iterations());
    state.counters["send_ms"] = floor.sendMs / double(state.iterations());
}
BENCHMARK(BM_BallToPhonesFloor)->Arg(1000)->Arg(2000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

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
