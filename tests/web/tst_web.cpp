#include "cards/CardStore.h"
#include "cards/UnitCart.h"
#include "web/LiveDraw.h"
#include "web/QrCode.h"
#include "web/WebExchange.h"
#include "web/WebServer.h"
#include "web/WebSite.h"
#include "web/HostileClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QWebSocket>


using namespace bolaris;
using namespace bolaris::test;

namespace {

DisplayBoard boardOf(const QList<int> &drawn, int last, bool takenBack = false)
{
    DisplayBoard b;
    for (int n : drawn)
        b.drawn[size_t(n)] = true;
    b.count = int(drawn.size());
    b.last = last;
    b.lastTakenBack = takenBack;
    b.inPlay = {false, true, false};
    return b;
}

QJsonObject parse(const QByteArray &json) { return QJsonDocument::fromJson(json).object(); }

QList<int> ints(const QJsonValue &array)
{
    QList<int> out;
    for (const QJsonValue &v : array.toArray())
        out << v.toInt();
    return out;
}

// Sends raw bytes and returns everything the server answers until it closes
// the connection or stays silent for a while.
QByteArray exchange(quint16 port, const QByteArray &request, bool *closed = nullptr, int waitMs = 3000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return "no connection";
    socket.write(request);
    socket.flush();
    QByteArray answer;
    while (socket.waitForReadyRead(waitMs))
        answer += socket.readAll();
    answer += socket.readAll();
    if (closed)
        *closed = socket.state() == QAbstractSocket::UnconnectedState;
    return answer;
}

} // namespace

class TestWeb : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qputenv("BOLARIS_WEB_PORT", "0"); }

    // --- the draw as the phones see it -------------------------------------

    void liveDrawKeepsOrderTakeBacksAndPrizes()
    {
        LiveDraw live;
        live.update(boardOf({}, 0), DrawMode::Manual, {}, {});
        QCOMPARE(live.draw(), 1);
        live.update(boardOf({44}, 44), DrawMode::Manual, {}, {});
        live.update(boardOf({44, 7}, 7), DrawMode::Manual, {}, {});
        live.update(boardOf({44, 7, 12}, 12), DrawMode::Manual, {{12, 'A', 67}}, {QStringLiteral("LINHA")});
        QCOMPARE(live.balls(), (QList<int>{44, 7, 12}));
        // A full ticket is announced again after later balls: still listed once, at its first ball.
        live.update(boardOf({44, 7, 12, 3}, 3), DrawMode::Manual, {{12, 'A', 67}}, {QStringLiteral("LINHA")});
        QCOMPARE(live.winners().size(), 1);
        QCOMPARE(live.winners().first().ball, 12);

        const QJsonObject state = parse(live.json());
        QCOMPARE(state.value("sorteio").toInt(), 1);
        QCOMPARE(ints(state.value("pedras")), (QList<int>{44, 7, 12, 3}));
        QCOMPARE(state.value("ultima").toInt(), 3);
        const QJsonObject winner = state.value("vencedores").toArray().first().toObject();
        QCOMPARE(winner, (QJsonObject{{"premio", "LINHA"}, {"cartela", 12}, {"serie", "A"}, {"cartao", 67},
                                      {"pedra", 12}}));
        QVERIFY(state.value("premios").toArray().contains(QJsonValue("Linha")));

        // Taking back ball 12 takes back the prize it won.
        live.update(boardOf({44, 7, 3}, 12, true), DrawMode::Manual, {}, {});
        QCOMPARE(live.balls(), (QList<int>{44, 7, 3}));
        QVERIFY(live.winners().isEmpty());
        QVERIFY(parse(live.json()).value("ultimaRetirada").toBool());

        // The end of the draw empties it; the next draw has the next number.
        live.update(boardOf({}, 0), DrawMode::Idle, {}, {});
        QVERIFY(parse(live.json()).value("ultima").isNull());
        QVERIFY(live.balls().isEmpty());
        live.update(boardOf({}, 0), DrawMode::Electronic, {}, {});
        QCOMPARE(live.draw(), 2);
    }

    // --- the site, without a network -------------------------------------

    void siteAnswers_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("page") << QByteArray("GET") << "/" << 200 << QByteArray("text/html; charset=utf-8");
        QTest::newRow("head") << QByteArray("HEAD") << "/sorteio.js" << 200 << QByteArray("text/javascript; charset=utf-8");
        QTest::newRow("font") << QByteArray("GET") << "/LiberationSans-Bold.ttf" << 200 << QByteArray("font/ttf");
        QTest::newRow("card page") << QByteArray("GET") << "/cartela?serie=A&numero=1" << 200
                                   << QByteArray("text/html; charset=utf-8");
        QTest::newRow("state") << QByteArray("GET") << "/estado" << 200 << QByteArray("application/json");
        QTest::newRow("post") << QByteArray("POST") << "/" << 405 << QByteArray("text/plain; charset=utf-8");
        QTest::newRow("delete") << QByteArray("DELETE") << "/estado" << 405 << QByteArray("text/plain; charset=utf-8");
        QTest::newRow("traversal") << QByteArray("GET") << "/../../etc/passwd" << 404 << QByteArray("text/plain; charset=utf-8");
        QTest::newRow("encoded traversal") << QByteArray("GET") << "/%2e%2e/%2e%2e/etc/passwd" << 404
                                           << QByteArray("text/plain; charset=utf-8");
        QTest::newRow("resource path") << QByteArray("GET") << "/bolaris/web/index.html" << 404
                                       << QByteArray("text/plain; charset=utf-8");
        QTest::newRow("registry") << QByteArray("GET") << "/Validadas.cds" << 404 << QByteArray("text/plain; charset=utf-8");
        QTest::newRow("no card") << QByteArray("GET") << "/cartela.json?serie=M&numero=1" << 404
                                 << QByteArray("application/json");
    }
    void siteAnswers()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, url);
        QFETCH(int, status);
        QFETCH(QByteArray, type);
        WebSite site;
        const WebReply reply = site.reply(method, QUrl(url));
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.contentType, type);
        if (status == 200)
            QVERIFY(!reply.body.isEmpty());
        if (status == 200 && type.startsWith("text/html")) // the pages speak Brazilian Portuguese
            QVERIFY(reply.body.contains("<html lang=\"pt-BR\">"));
    }

    // A card shows its six tickets as printed, and nothing about its sale.
    void cardShowsPrintedTickets()
    {
        CartelaTable cards;
        cards.storeSeriesA();
        const WebSite site(WebSite::snapshot(cards));
        const QJsonObject card = parse(site.reply("GET", QUrl("/cartela.json?serie=a&numero=12")).body);
        QCOMPARE(card.keys(), (QStringList{"cartoes", "numero", "serie"}));
        QCOMPARE(card.value("serie").toString(), "A");
        const QJsonArray tickets = card.value("cartoes").toArray();
        QCOMPARE(tickets.size(), 6);
        QSet<int> all;
        for (int i = 0; i < 6; ++i) {
            const QJsonObject t = tickets[i].toObject();
            QCOMPARE(t.value("cartao").toInt(), 67 + i);
            QList<int> numbers;
            for (const QJsonValue &row : t.value("linhas").toArray()) {
                QCOMPARE(row.toArray().size(), 9);
                for (int n : ints(row))
                    if (n)
                        numbers << n;
            }
            const auto printed = TicketNumbers(cards.card('A', 12), i + 1);
            QCOMPARE(QSet<int>(numbers.begin(), numbers.end()), QSet<int>(printed.begin(), printed.end()));
            all.unite(QSet<int>(numbers.begin(), numbers.end()));
        }
        QCOMPARE(all.size(), 90);
        for (const char *bad : {"serie=A&numero=0", "serie=A&numero=2001", "serie=A&numero=12x", "numero=1",
                                "serie=AB&numero=1", "serie=%00&numero=1"})
            QCOMPARE(site.reply("GET", QUrl(QStringLiteral("/cartela.json?") + bad)).status, 404);
    }

    void qrCodeHasFinderPatterns()
    {
        const QImage qr = qrCode(QStringLiteral("http://192.168.0.10:8090/"));
        QVERIFY(!qr.isNull());
        QCOMPARE(qr.width(), qr.height());
        // The top-left finder: a dark 7 x 7 ring inside the 4-module quiet zone.
        QCOMPARE(qGray(qr.pixel(3, 3)), 255);
        QCOMPARE(qGray(qr.pixel(4, 4)), 0);
        QCOMPARE(qGray(qr.pixel(10, 4)), 0);
        QCOMPARE(qGray(qr.pixel(5, 5)), 255);
        QCOMPARE(qGray(qr.pixel(7, 7)), 0);
    }

    // --- one connection's conversation, without a socket -------------------

    void exchangeAnswers_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArrayList>("statuses");
        QTest::addColumn<bool>("ends");
        const QByteArray get = "GET /estado HTTP/1.1\r\nHost: x\r\n\r\n";
        QTest::newRow("pipelined") << get + "HEAD / HTTP/1.1\r\n\r\n" + get << QByteArrayList{"200", "200", "200"}
                                   << false;
        QTest::newRow("blank lines first") << "\r\n\n" + get << QByteArrayList{"200"} << false;
        QTest::newRow("HTTP/1.0 ends") << QByteArray("GET / HTTP/1.0\r\n\r\n") + get << QByteArrayList{"200"} << true;
        QTest::newRow("close asked") << QByteArray("GET / HTTP/1.1\r\nConnection: close\r\n\r\n") + get
                                     << QByteArrayList{"200"} << true;
        QTest::newRow("post") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n") + get
                              << QByteArrayList{"405", "200"} << false;
        QTest::newRow("post with a body") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\n") + get
                                          << QByteArrayList{"405"} << true;
        QTest::newRow("get with a body") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 4\r\n\r\n") + get
                                         << QByteArrayList{"400"} << true;
        QTest::newRow("chunked") << QByteArray("GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n")
                                 << QByteArrayList{"400"} << true;
        QTest::newRow("two lengths") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 0\r\nContent-Length: 2\r\n\r\n")
                                     << QByteArrayList{"400"} << true;
        QTest::newRow("signed length") << QByteArray("GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n")
                                       << QByteArrayList{"400"} << true;
        QTest::newRow("folded field") << QByteArray("GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n") << QByteArrayList{"400"}
                                      << true;
        static const char nul[] = "GET / HTTP/1.1\r\nX: a\0b\r\n\r\n";
        QTest::newRow("NUL in a field") << QByteArray(nul, sizeof nul - 1) << QByteArrayList{"400"} << true;
        QTest::newRow("blank in target") << QByteArray("GET / x HTTP/1.1\r\n\r\n") << QByteArrayList{"400"} << true;
        QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << QByteArrayList{"400"} << true;
        QTest::newRow("HTTP/2") << QByteArray("GET / HTTP/2.0\r\n\r\n") << QByteArrayList{"400"} << true;
        QTest::newRow("absolute target") << QByteArray("GET http://x/ HTTP/1.1\r\n\r\n") << QByteArrayList{"400"}
                                         << true;
        QTest::newRow("long line") << "GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\n\r\n" << QByteArrayList{"414"}
                                   << true;
        QTest::newRow("long field") << "GET / HTTP/1.1\r\nX: " + QByteArray(9000, 'a') + "\r\n\r\n"
                                    << QByteArrayList{"431"} << true;
        QTest::newRow("line longer than a head") << "GET /" + QByteArray(40'000, 'a') + " HTTP/1.1\r\n\r\n"
                                                 << QByteArrayList{"414"} << true;
        QTest::newRow("feed elsewhere") << QByteArray(kUpgrade).replace("/ao-vivo", "/estado") << QByteArrayList{"404"}
                                        << true;
        QTest::newRow("old feed version") << QByteArray(kUpgrade).replace("Version: 13", "Version: 8")
                                          << QByteArrayList{"426"} << true;
        QTest::newRow("bad feed key") << QByteArray(kUpgrade).replace("dGhlIHNhbXBsZSBub25jZQ==", "c2hvcnQ=")
                                      << QByteArrayList{"400"} << true;
        QTest::newRow("feed") << kUpgrade + get << QByteArrayList{"101"} << false;
    }
    // Whole or a byte at a time, the same answers.
    void exchangeAnswers()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArrayList, statuses);
        QFETCH(bool, ends);
        const WebSite site;
        const WebLimits limits;
        for (const qsizetype step : {sent.size(), qsizetype(1)}) {
            WebExchange exchange(site, limits);
            QByteArrayList seen;
            QByteArray accept;
            for (qsizetype at = 0; at < sent.size() && exchange.phase() == WebExchange::Phase::Requests;) {
                WebExchange::Reply reply;
                const qsizetype taken = exchange.receive(QByteArrayView(sent).sliced(at, std::min(step, sent.size() - at)), reply);
                QVERIFY(taken > 0);
                at += taken;
                for (const QByteArray &chunk : std::as_const(reply.chunks))
                    if (chunk.startsWith("HTTP/1.1 ")) {
                        seen << chunk.mid(9, 3);
                        if (chunk.contains("Sec-WebSocket-Accept"))
                            accept = chunk;
                    }
            }
            QCOMPARE(seen, statuses);
            QCOMPARE(exchange.phase() == WebExchange::Phase::Ended, ends);
            if (statuses == QByteArrayList{"101"}) // the example key of the WebSocket protocol
                QVERIFY(accept.contains("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"));
        }
    }

    void liveFrames_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("ends");
        const auto server = [](int opcode, const QByteArray &payload) {
            return QByteArray(1, char(0x80 | opcode)) + char(payload.size()) + payload;
        };
        const QByteArray protocolError = server(8, QByteArray::fromHex("03ea")), tooBig = server(8, QByteArray::fromHex("03f1"));
        QTest::newRow("ping") << clientFrame(9, "abc") << server(10, "abc") << false;
        QTest::newRow("pings answered once") << clientFrame(9, "a") + clientFrame(9, "b") << server(10, "b") << false;
        QTest::newRow("message dropped") << clientFrame(1, "oi") << QByteArray() << false;
        QTest::newRow("fragments dropped") << clientFrame(1, "o", false) + clientFrame(0, "i") << QByteArray() << false;
        QTest::newRow("close") << clientFrame(8, "\x03\xe8tchau") << server(8, "\x03\xe8") << true;
        QTest::newRow("unmasked") << clientFrame(9, "x", true, false) << protocolError << true;
        QTest::newRow("reserved opcode") << clientFrame(3, "") << protocolError << true;
        QTest::newRow("fragmented ping") << clientFrame(9, "x", false) << protocolError << true;
        QTest::newRow("lone continuation") << clientFrame(0, "x") << protocolError << true;
        QTest::newRow("message too long") << clientFrame(1, QByteArray(2000, 'm')) << tooBig << true;
        QTest::newRow("fragments too long") << clientFrame(2, QByteArray(600, 'm'), false) + clientFrame(0, QByteArray(600, 'm'))
                                            << tooBig << true;
    }
    void liveFrames()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answer);
        QFETCH(bool, ends);
        const WebSite site;
        const WebLimits limits;
        for (const qsizetype step : {sent.size(), qsizetype(1)}) {
            WebExchange exchange(site, limits);
            WebExchange::Reply upgrade;
            QCOMPARE(exchange.receive(kUpgrade, upgrade), kUpgrade.size());
            QVERIFY(upgrade.upgraded);
            QByteArray said;
            for (qsizetype at = 0; at < sent.size() && exchange.phase() == WebExchange::Phase::Live;) {
                WebExchange::Reply reply;
                at += exchange.receive(QByteArrayView(sent).sliced(at, std::min(step, sent.size() - at)), reply);
                said += reply.chunks.join();
            }
            if (step == 1 && sent.startsWith(clientFrame(9, "a")))
                continue; // a ping at a time is answered at a time
            QCOMPARE(said, answer);
            QCOMPARE(exchange.phase() == WebExchange::Phase::Ended, ends);
        }
    }

    // --- the server on a real socket -------------------------------------

    void serverAnswersAndFeedsLive()
    {
        CartelaTable cards;
        WebServer server(cards);
        QCOMPARE(server.start(), QString());
        QVERIFY(server.port() != 0);
        QVERIFY(server.address().endsWith(QStringLiteral(":%1/").arg(server.port())));

        QByteArray answer = exchange(server.port(), "GET /estado HTTP/1.1\r\nHost: x\r\n\r\n", nullptr, 300);
        QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
        QVERIFY(answer.contains("\"sorteio\":0"));
        answer = exchange(server.port(), "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\nab", nullptr, 300);
        QVERIFY2(answer.startsWith("HTTP/1.1 405"), answer.constData());
        QVERIFY(answer.contains("Allow: GET, HEAD"));
        answer = exchange(server.port(), "GET /../../etc/passwd HTTP/1.1\r\nHost: x\r\n\r\n", nullptr, 300);
        QVERIFY2(answer.startsWith("HTTP/1.1 404"), answer.constData());
        answer = exchange(server.port(), "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n", nullptr, 300);
        QVERIFY2(answer.startsWith("HTTP/1.1 200") && answer.endsWith("\r\n\r\n"), answer.constData());

        QWebSocket ws;
        QSignalSpy messages(&ws, &QWebSocket::textMessageReceived);
        ws.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ao-vivo").arg(server.port())));
        QTRY_COMPARE(messages.size(), 1); // the state at once
        server.publish(boardOf({}, 0), DrawMode::Electronic, {}, {});
        server.publish(boardOf({45}, 45), DrawMode::Electronic, {}, {});
        QTRY_COMPARE(messages.size(), 3);
        const QJsonObject state = parse(messages.last().first().toString().toUtf8());
        QCOMPARE(ints(state.value("pedras")), QList<int>{45});
        QCOMPARE(server.liveClientCount(), 1);

        // A feed elsewhere than its own path is refused.
        QWebSocket stray;
        QSignalSpy strayGone(&stray, &QWebSocket::disconnected);
        stray.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/estado").arg(server.port())));
        QTRY_VERIFY(strayGone.size() >= 1);

        // Stopping closes every connection.
        QSignalSpy gone(&ws, &QWebSocket::disconnected);
        const quint16 port = server.port();
        server.stop();
        QTRY_COMPARE(gone.size(), 1);
        QCOMPARE(exchange(port, "GET / HTTP/1.1\r\n\r\n"), QByteArray("no connection"));
    }

    // Many phones at once: each hears every change, and phones that leave,
    // by a reset or a close, are forgotten while the others go on hearing.
    void manyPhonesComeAndGo()
    {
        CartelaTable cards;
        WebServer server(cards);
        WebLimits limits;
        limits.maxPerAddress = limits.maxConnections;
        server.setLimits(limits);
        QCOMPARE(server.start(), QString());
        constexpr int kPhones = 300;
        std::vector<std::unique_ptr<RawClient>> phones;
        std::vector<QByteArray> heard(kPhones);
        for (int i = 0; i < kPhones; ++i) {
            phones.push_back(std::make_unique<RawClient>(server.port()));
            QCOMPARE(phones.back()->send(kUpgrade), kUpgrade.size());
        }
        QTRY_COMPARE(server.liveClientCount(), kPhones);
        const auto allHeard = [&](const QByteArray &text, int from) {
            for (int i = from; i < kPhones; ++i)
                if (!phones[size_t(i)]->read(heard[size_t(i)]) || !heard[size_t(i)].contains(text))
                    return false;
            return true;
        };
        for (int n = 1; n <= 3; ++n)
            server.publish(boardOf(QList<int>{1, 2, 3}.first(n), n), DrawMode::Electronic, {}, {});
        QTRY_VERIFY(allHeard("\"pedras\":[1,2,3]", 0));

        for (int i = 0; i < kPhones / 3; ++i)
            phones[size_t(i)]->reset();
        server.publish(boardOf({1, 2, 3, 4}, 4), DrawMode::Electronic, {}, {});
        QTRY_VERIFY(allHeard("\"pedras\":[1,2,3,4]", kPhones / 3));
        QTRY_COMPARE(server.liveClientCount(), kPhones - kPhones / 3);
        phones.clear();
        QTRY_COMPARE(server.connectionCount(), 0);

        // Every interface: IPv6 too, where the machine has it.
        if (QTcpServer probe; probe.listen(QHostAddress::LocalHostIPv6)) {
            QTcpSocket v6;
            v6.connectToHost(QHostAddress::LocalHostIPv6, server.port());
            QVERIFY(v6.waitForConnected(3000));
            v6.write("GET /estado HTTP/1.1\r\nHost: x\r\n\r\n");
            QTRY_VERIFY((v6.waitForReadyRead(100), v6.peek(12) == "HTTP/1.1 200"));
        }
    }

    void hostileClientsAreClosed_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("long request line") << "GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\n\r\n";
        QTest::newRow("long header") << "GET / HTTP/1.1\r\nX: " + QByteArray(9000, 'b') + "\r\n\r\n";
        QByteArray many = "GET / HTTP/1.1\r\n";
        for (int i = 0; i < 500; ++i)
            many += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(60, 'c') + "\r\n";
        QTest::newRow("head too large") << many + "\r\n";
        QTest::newRow("head never ends") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n");
        QTest::newRow("silent") << QByteArray();
        static const char garbage[] = "\x00\xff\r\n\r\n\x16\x03\x01 nonsense";
        QTest::newRow("garbage") << QByteArray(garbage, sizeof garbage - 1);
    }
    void hostileClientsAreClosed()
    {
        QFETCH(QByteArray, request);
        CartelaTable cards;
        WebServer server(cards);
        WebLimits limits;
        limits.headTimeoutMs = 300;
        server.setLimits(limits);
        QCOMPARE(server.start(), QString());
        bool closed = false;
        const QByteArray answer = exchange(server.port(), request, &closed, 3000);
        QVERIFY2(closed, answer.left(200).constData());
        QVERIFY(!answer.startsWith("HTTP/1.1 200"));
        // The server goes on serving others.
        QVERIFY(exchange(server.port(), "GET /estado HTTP/1.1\r\nHost: x\r\n\r\n", nullptr, 300).startsWith(
            "HTTP/1.1 200"));
    }

    void connectionsBeyondTheCapAreRefused()
    {
        CartelaTable cards;
        WebServer server(cards);
        WebLimits limits;
        limits.maxConnections = 3;
        server.setLimits(limits);
        QCOMPARE(server.start(), QString());
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(std::make_unique<QTcpSocket>());
            held.back()->connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(held.back()->waitForConnected(3000));
        }
        QTRY_COMPARE(server.connectionCount(), 3);
        bool closed = false;
        QVERIFY(exchange(server.port(), "GET /estado HTTP/1.1\r\nHost: x\r\n\r\n", &closed, 1000).isEmpty());
        QVERIFY(closed);
        held.clear();
        QTRY_COMPARE(server.connectionCount(), 0);
        QVERIFY(exchange(server.port(), "GET /estado HTTP/1.1\r\nHost: x\r\n\r\n", nullptr, 300).startsWith(
            "HTTP/1.1 200"));
    }

    // A client that stops reading is dropped; the others go on hearing every change.
    void stalledClientIsDropped()
    {
        CartelaTable cards;
        WebServer server(cards);
        WebLimits limits;
        limits.maxQueuedBytes = 64 * 1024;
        server.setLimits(limits);
        QCOMPARE(server.start(), QString());

        QTcpSocket stalled;
        stalled.setReadBufferSize(1); // takes nothing more from the system once a byte waits
        stalled.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(stalled.waitForConnected(3000));
        stalled.write("GET /ao-vivo HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        QWebSocket reader;
        QSignalSpy heard(&reader, &QWebSocket::textMessageReceived);
        reader.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ao-vivo").arg(server.port())));
        QTRY_COMPARE(server.liveClientCount(), 2);

        // Large states: every ball drawn and many winners.
        QList<int> all;
        for (int n = 1; n <= 90; ++n)
            all << n;
        QList<TicketRef> winners;
        QStringList prizes;
        for (int i = 1; i <= 60; ++i) {
            winners << TicketRef{i, 'B', 6 * i};
            prizes << QStringLiteral("CARTAO");
        }
        server.publish(boardOf({}, 0), DrawMode::Electronic, {}, {});
        for (int round = 0; round < 4000 && server.liveClientCount() == 2; ++round) {
            server.publish(boardOf(all, 1 + round % 90), DrawMode::Electronic, winners, prizes);
            if (round % 50 == 0)
                QCoreApplication::processEvents();
        }
        QTRY_COMPARE(server.liveClientCount(), 1);
        const int before = int(heard.size());
        server.publish(boardOf({5}, 5), DrawMode::Electronic, {}, {});
        QTRY_VERIFY(heard.size() > before);
    }

    // --- hostile clients: whatever they send, the server keeps little ------

    // Requests for the largest file, pipelined by a client that does not read:
    // each is answered once the one before has gone, all of them in order.
    void pipelinedRequestsWaitForTheReader()
    {
        CartelaTable cards;
        WebServer server(cards);
        QCOMPARE(server.start(), QString());
        const QByteArray request = "GET /LiberationSans-Bold.ttf HTTP/1.1\r\nHost: x\r\n\r\n";
        const QByteArray one = exchange(server.port(), request, nullptr, 300);
        QVERIFY(one.startsWith("HTTP/1.1 200") && one.size() > 400'000);
        const qint64 before = residentBytes();

        constexpr int kRequests = 300;
        RawClient client(server.port(), 4096);
        QVERIFY(client.connected());
        const QByteArray all = request.repeated(kRequests);
        QByteArray answers;
        for (qsizetype sent = 0; sent < all.size();) {
            const qint64 n = client.send(QByteArrayView(all).sliced(sent));
            QVERIFY(n >= 0);
            sent += n;
            if (n == 0)
                QTest::qWait(10);
        }
        QTest::qWait(300);
        QVERIFY(server.held().largest <= WebLimits().maxQueuedBytes);
        if (kResidentSizeMeaningful)
            QVERIFY(residentBytes() - before < kMemoryAboveIdle);

        QVERIFY(client.read(answers));
        client.setReceiveBuffer(4 << 20); // read it all now, and quickly
        QDeadlineTimer deadline(60000);
        while (answers.size() < one.size() * kRequests && !deadline.hasExpired()) {
            QVERIFY(client.read(answers));
            QThread::usleep(200);
        }
        QCOMPARE(answers.size(), one.size() * kRequests);
        QVERIFY(answers.endsWith(one.right(1000)));
    }

    // A body is refused without being read, whatever the client sends after
    // its head: the answer goes, the rest is dropped, the connection ends.
    void bodiesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("filler");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("huge length, blank lines") << QByteArray("POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000000\r\n\r\n")
                                                  << QByteArray(4092, 'x') + "\r\n\r\n" << QByteArray("405");
        QTest::newRow("chunked") << QByteArray("POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n")
                                 << "1000\r\n" + QByteArray(4096, 'y') + "\r\n" << QByteArray("405");
        QTest::newRow("get with a body") << QByteArray("GET /estado HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000000\r\n\r\n")
                                         << QByteArray(4096, '\n') << QByteArray("400");
        QTest::newRow("chunked get") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n")
                                     << "1000\r\n" + QByteArray(4096, 'z') + "\r\n" << QByteArray("400");
    }
    void bodiesAreRefused()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, filler);
        QFETCH(QByteArray, status);
        CartelaTable cards;
        WebServer server(cards);
        QCOMPARE(server.start(), QString());
        const qint64 before = residentBytes();
        RawClient client(server.port());
        QVERIFY(client.connected());
        QCOMPARE(client.send(head), head.size());
        // The answer comes at once, without the body; what the client sends
        // then is dropped until the connection ends (a reset may then take
        // anything still unread, so the answer is read first).
        QByteArray answer;
        QTRY_VERIFY((client.read(answer), answer.contains("\r\n\r\n")));
        qint64 sent = 0;
        QDeadlineTimer deadline(10000);
        const QByteArray block = filler.repeated(16);
        while (!deadline.hasExpired()) {
            const qint64 n = client.send(block);
            if (n < 0 || !client.read(answer))
                break;
            sent += n;
            if (n == 0)
                QTest::qWait(10);
            QVERIFY(server.held().largest < 256 * 1024);
        }
        QVERIFY2(!deadline.hasExpired(), "the connection was never ended");
        QVERIFY2(answer.startsWith("HTTP/1.1 " + status), answer.left(100).constData());
        QVERIFY(answer.contains("Connection: close\r\n"));
        if (kResidentSizeMeaningful)
            QVERIFY(residentBytes() - before < kMemoryAboveIdle);
        QTRY_COMPARE(server.connectionCount(), 0);
    }

    // Pings from a live client that never reads its pongs: the server keeps
    // one pong at most, and the other phones hear every ball.
    void unreadPongsAreBounded()
    {
        CartelaTable cards;
        WebServer server(cards);
        QCOMPARE(server.start(), QString());
        const qint64 before = residentBytes();
        RawClient attacker(server.port(), 4096);
        QVERIFY(attacker.connected());
        QCOMPARE(attacker.send(kUpgrade), kUpgrade.size());
        QTRY_COMPARE(server.liveClientCount(), 1);
        const QByteArray pings = clientFrame(9, QByteArray(125, 'p')).repeated(256);
        qint64 sent = 0;
        // Each read of pings is answered by one pong, which the system holds
        // until it too is full: then the server stops reading them.
        for (int idle = 0; idle < 50 && sent < (64 << 20);) {
            const qint64 n = attacker.send(QByteArrayView(pings).sliced(sent % pings.size()));
            QVERIFY(n >= 0);
            sent += n;
            idle = n == 0 ? idle + 1 : 0;
            if (n == 0)
                QTest::qWait(10);
        }
        QVERIFY(server.held().largest < 64 * 1024);
        if (kResidentSizeMeaningful)
            QVERIFY(residentBytes() - before < kMemoryAboveIdle);

        QWebSocket phone;
        QSignalSpy heard(&phone, &QWebSocket::textMessageReceived);
        phone.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ao-vivo").arg(server.port())));
        QTRY_COMPARE(heard.size(), 1);
        server.publish(boardOf({9}, 9), DrawMode::Electronic, {}, {});
        QTRY_COMPARE(heard.size(), 2);
    }

    // One address holds at most its share of the connections; others still get in.
    void oneAddressHoldsItsShare()
    {
        CartelaTable cards;
        WebServer server(cards);
        QCOMPARE(server.start(), QString());
        const int share = WebLimits().maxPerAddress;
        std::vector<std::unique_ptr<RawClient>> held;
        for (int i = 0; i < share; ++i) {
            held.push_back(std::make_unique<RawClient>(server.port(), 0, "127.0.0.3"));
            QVERIFY(held.back()->connected());
        }
        QTRY_COMPARE(server.connectionCount(), share);
        RawClient oneMore(server.port(), 0, "127.0.0.3");
        QByteArray nothing;
        QVERIFY(oneMore.endsWithin(3000, nothing));
        QVERIFY(nothing.isEmpty());
        RawClient other(server.port(), 0, "127.0.0.4");
        const QByteArray get = "GET /estado HTTP/1.1\r\nHost: x\r\n\r\n";
        QCOMPARE(other.send(get), get.size());
        QByteArray answer;
        QTRY_VERIFY((other.read(answer), answer.startsWith("HTTP/1.1 200")));
    }

    // Blank lines are no requests: they do not keep a connection open.
    void blankLinesKeepNothingOpen()
    {
        CartelaTable cards;
        WebServer server(cards);
        WebLimits limits;
        limits.headTimeoutMs = 300;
        limits.idleTimeoutMs = 600;
        server.setLimits(limits);
        QCOMPARE(server.start(), QString());
        RawClient client(server.port());
        QVERIFY(client.connected());
        QByteArray answer;
        QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired() && client.send("\r\n") >= 0 && client.read(answer))
            QTest::qWait(100);
        QVERIFY2(!deadline.hasExpired(), "blank lines kept the connection open");
    }

    void busyPortIsNamed()
    {
        CartelaTable cards;
        WebServer first(cards);
        QCOMPARE(first.start(), QString());
        qputenv("BOLARIS_WEB_PORT", QByteArray::number(first.port()));
        WebServer second(cards);
        const QString message = second.start();
        qputenv("BOLARIS_WEB_PORT", "0");
        QVERIFY(message.contains(QString::number(first.port())));
        QVERIFY(!second.running());
    }
};

QTEST_MAIN(TestWeb)
#include "tst_web.moc"
