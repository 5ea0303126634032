#include "draw/DrawFixture.h"
#include "draw/PlayersDisplay.h"
#include "game/DrawLog.h"
#include "validation/ValidationRegistry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

using namespace bolaris;
using namespace bolaris::test;

namespace {

// The port in the check box's tool tip, 0 when it names none.
quint16 portOf(const QCheckBox *box)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("http://[^/]+:(\\d+)/")).match(box->toolTip());
    return m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
}

// The body of GET /estado, or empty when nothing answers.
QJsonObject state(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return {};
    socket.write("GET /estado HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    QJsonDocument body;
    while (body.isNull() && socket.waitForReadyRead(2000)) {
        answer += socket.readAll();
        body = QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4));
    }
    return body.object();
}

QList<int> balls(const QJsonObject &state)
{
    QList<int> out;
    for (const QJsonValue &v : state.value("pedras").toArray())
        out << v.toInt();
    return out;
}

} // namespace

class TestCelulares : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qputenv("BOLARIS_WEB_PORT", "0"); }

    // The phones name a draw as the draw log does, whatever was drawn
    // before this run, and a ball taken back as taken back.
    void theLogsNumberAndABallTakenBack()
    {
        DrawFixture f([](const QString &dir) {
            DrawLogWriter earlier(dir);
            for (int draw = 0; draw < 2; ++draw) {
                earlier.startDraw(DrawMode::Manual);
                earlier.endDraw();
            }
        });
        f.enter();
        f.click(QStringLiteral("CheckCelulares"));
        const quint16 port = portOf(f.get<QCheckBox>(QStringLiteral("CheckCelulares")));
        f.startManual();
        f.clickBall(5);
        QTRY_COMPARE(state(port).value("sorteio").toInt(), 3);
        f.now += 10000;
        f.clickBall(5);
        QTRY_VERIFY(state(port).value("ultimaRetirada").toBool());
        QCOMPARE(state(port).value("ultima").toInt(), 5);
        QVERIFY(balls(state(port)).isEmpty());
        f.click(QStringLiteral("CheckCelulares"));
    }

    void tickingServesTheDraw()
    {
        DrawFixture f;
        f.enter();
        auto *box = f.get<QCheckBox>(QStringLiteral("CheckCelulares"));
        QCOMPARE(box->text(), QStringLiteral("Celulares"));
        QCOMPARE(box->geometry(), QRect(681, 231, 102, 17));
        QCOMPARE(box->font(), f.get<QCheckBox>(QStringLiteral("CheckTelao"))->font());
        QVERIFY(!box->isChecked());
        QCOMPARE(portOf(box), 0);

        f.click(QStringLiteral("CheckCelulares"));
        QVERIFY(box->isChecked());
        const quint16 port = portOf(box);
        QVERIFY2(port != 0, qPrintable(box->toolTip()));
        f.startElectronic();
        f.drawBall(44);
        f.drawBall(7);
        QTRY_COMPARE(balls(state(port)), (QList<int>{44, 7}));
        QCOMPARE(state(port).value("ultima").toInt(), 7);

        // The players' display shows the same address.
        f.click(QStringLiteral("CheckTelao"));
        QVERIFY(f.panel->playersDisplay());
        QVERIFY(box->toolTip().endsWith(f.panel->playersDisplay()->address()));

        // Unticking stops serving; the address goes.
        f.click(QStringLiteral("CheckCelulares"));
        QVERIFY(state(port).isEmpty());
        QVERIFY(f.panel->playersDisplay()->address().isEmpty());

        // Leaving the panel stops serving and unticks the box.
        f.click(QStringLiteral("CheckCelulares"));
        const quint16 again = portOf(box);
        QVERIFY(!state(again).isEmpty());
        f.prompter.answers = {true};
        f.click(QStringLiteral("ButtonSair"));
        QVERIFY(!box->isChecked());
        QVERIFY(state(again).isEmpty());
    }

    // A prize is listed with the ball that won it, and leaves with that ball.
    void prizesWithTheirBall()
    {
        DrawFixture f(sellCardTwo);
        f.enter();
        f.click(QStringLiteral("CheckLinha"));
        f.click(QStringLiteral("CheckCelulares"));
        const quint16 port = portOf(f.get<QCheckBox>(QStringLiteral("CheckCelulares")));
        f.startManual();
        for (int ball : {1, 21, 32, 51, 72}) // 72 completes row 1 of ticket 7
            f.clickBall(ball);
        f.clickBall(5);
        QJsonObject s;
        QTRY_COMPARE((s = state(port)).value("pedras").toArray().size(), 6);
        QCOMPARE(s.value("vencedores").toArray(),
                 (QJsonArray{QJsonObject{{"premio", "LINHA"}, {"cartela", 2}, {"serie", "A"}, {"cartao", 7},
                                         {"pedra", 72}}}));
        QCOMPARE(s.value("premios").toArray(), QJsonArray{"Cartela cheia"});
        f.clickBall(72); // taken back
        QTRY_VERIFY(state(port).value("vencedores").toArray().isEmpty());
    }

    // Phones switched on mid-draw get the draw so far: its order and the
    // prizes already won, with their balls; a take-back is followed.
    void switchedOnMidDraw()
    {
        DrawFixture f(sellCardTwo);
        f.enter();
        f.click(QStringLiteral("CheckLinha"));
        f.startManual();
        for (int ball : {72, 1, 51, 21, 32}) // 32 completes row 1 of ticket 7
            f.clickBall(ball);
        f.click(QStringLiteral("CheckCelulares"));
        const quint16 port = portOf(f.get<QCheckBox>(QStringLiteral("CheckCelulares")));
        QJsonObject s;
        QTRY_COMPARE(balls(s = state(port)), (QList<int>{72, 1, 51, 21, 32}));
        QCOMPARE(s.value("vencedores").toArray(),
                 (QJsonArray{QJsonObject{{"premio", "LINHA"}, {"cartela", 2}, {"serie", "A"}, {"cartao", 7},
                                         {"pedra", 32}}}));
        f.clickBall(51); // taken back: the line is undone
        QTRY_COMPARE(balls(s = state(port)), (QList<int>{72, 1, 21, 32}));
        QVERIFY(s.value("vencedores").toArray().isEmpty());
    }

    void busyPortIsToldAndUnticks()
    {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        qputenv("BOLARIS_WEB_PORT", QByteArray::number(squatter.serverPort()));
        DrawFixture f;
        f.enter();
        f.click(QStringLiteral("CheckCelulares"));
        qputenv("BOLARIS_WEB_PORT", "0");
        QVERIFY(!f.get<QCheckBox>(QStringLiteral("CheckCelulares"))->isChecked());
        QCOMPARE(f.prompter.shown.size(), 1);
        QVERIFY(f.prompter.lastText().contains(QString::number(squatter.serverPort())));
    }
};

QTEST_MAIN(TestCelulares)
#include "tst_celulares.moc"
