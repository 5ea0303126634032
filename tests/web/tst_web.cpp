#include "cards/CardStore.h"
#include "cards/UnitCart.h"
#include "web/LiveDraw.h"
#include "web/QrCode.h"
#include "web/WebServer.h"
#include "web/WebSite.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

using namespace bolaris;

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
