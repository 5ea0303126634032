#include "draw/BallMedia.h"
#include "game/BallSource.h"
#include "game/DrawState.h"

#include <QTest>

#include <set>

using namespace bolaris;

namespace {

// Draws the listed balls electronically: each value is chosen so that the
// wanted ball comes out.
void drawBalls(DrawState &state, const QList<int> &balls)
{
    for (int ball : balls) {
        int value = 0;
        for (int n = 1; n < ball; ++n)
            value += !state.drawn(n);
        ScriptedBallSource source({value});
        QCOMPARE(state.drawElectronic(source)->ball, ball);
    }
}

} // namespace

class TestDrawState : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyBallOnceIn90Presses()
    {
        DrawState state;
        state.start(DrawMode::Electronic);
        SeededBallSource source(12345);
        std::set<int> seen;
        for (int i = 1; i <= 90; ++i) {
            QVERIFY(state.canDrawElectronic());
            const auto event = state.drawElectronic(source);
            QVERIFY(event);
            QVERIFY(seen.insert(event->ball).second);
            QCOMPARE(state.DrawnCount(), i);
        }
        QCOMPARE(int(seen.size()), 90);
        QCOMPARE(state.remaining(), 0);
        QVERIFY(!state.canDrawElectronic());
        QVERIFY(!state.drawElectronic(source));
        QCOMPARE(state.DrawnCount(), 90);
    }

    void seededSourceRepeatsItsSequence()
    {
        auto sequence = [](quint32 seed) {
            DrawState state;
            state.start(DrawMode::Electronic);
            SeededBallSource source(seed);
            QList<int> balls;
            while (auto event = state.drawElectronic(source))
                balls << event->ball;
            return balls;
        };
        QCOMPARE(sequence(7), sequence(7));
        QVERIFY(sequence(7) != sequence(8));
    }

    void systemSourceStaysInRange()
    {
        SystemBallSource source;
        for (int range : {1, 2, 3, 89, 90})
            for (int i = 0; i < 200; ++i) {
                const int v = source.value(range);
                QVERIFY(v >= 0 && v < range);
            }
    }

    void pick_data()
    {
        QTest::addColumn<QList<int>>("drawnBefore");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("ball");
        QTest::newRow("lowest of a fresh draw") << QList<int>{} << 0 << 1;
        QTest::newRow("highest of a fresh draw") << QList<int>{} << 89 << 90;
        QTest::newRow("lowest skips drawn 1 and 2") << QList<int>{1, 2} << 0 << 3;
        QTest::newRow("highest skips drawn 90") << QList<int>{90, 5} << 87 << 89;
        QTest::newRow("third undrawn") << QList<int>{2, 3} << 2 << 5;
        QTest::newRow("out of range counts as lowest") << QList<int>{1} << 89 << 2;
    }
    void pick()
    {
        QFETCH(QList<int>, drawnBefore);
        QFETCH(int, value);
        QFETCH(int, ball);
        DrawState state;
        state.start(DrawMode::Electronic);
        drawBalls(state, drawnBefore);
        ScriptedBallSource source({value});
        const auto event = state.drawElectronic(source);
        QCOMPARE(event->ball, ball);
        QVERIFY(state.drawn(ball));
    }

    void electronicOrderText()
    {
        DrawState state;
        state.start(DrawMode::Electronic);
        drawBalls(state, {7});
        QCOMPARE(state.lastBall(), QStringLiteral("07"));
        drawBalls(state, {45, 90});
        QCOMPARE(state.orderText(), QStringLiteral("Ordem do sorteio:07 45 90 "));
        QCOMPARE(state.lastBall(), QStringLiteral("90"));
    }

    void manualTakeBack()
    {
        DrawState state;
        state.start(DrawMode::Manual);
        auto first = state.clickManual(7);
        QVERIFY(first && first->drawn);
        QCOMPARE(first->entry, QStringLiteral("7"));
        QCOMPARE(state.DrawnCount(), 1);
        auto second = state.clickManual(7);
        QVERIFY(second && !second->drawn);
        QCOMPARE(second->entry, QStringLiteral("-7"));
        QCOMPARE(state.DrawnCount(), 0);
        QVERIFY(!state.drawn(7));
        QCOMPARE(state.orderText(), QStringLiteral("Ordem do sorteio:7 -7 "));
        QCOMPARE(state.lastBall(), QStringLiteral("7"));
    }

    void clicksOutsideAManualDraw()
    {
        DrawState state;
        QVERIFY(!state.clickManual(7)); // idle
        state.start(DrawMode::Electronic);
        QVERIFY(!state.clickManual(7));
        state.start(DrawMode::Manual);
        QVERIFY(!state.clickManual(0));
        QVERIFY(!state.clickManual(91));
        ScriptedBallSource source;
        QVERIFY(!state.drawElectronic(source)); // not an electronic draw
        QCOMPARE(state.DrawnCount(), 0);
        QCOMPARE(state.orderText(), DrawState::heading());
        state.end();
        QVERIFY(!state.clickManual(7));
    }

    void startAndEndReset()
    {
        DrawState state;
        state.start(DrawMode::Manual);
        state.clickManual(3);
        state.setFewestPointsArmed(true);
        state.end();
        QCOMPARE(state.mode(), DrawMode::Idle);
        QCOMPARE(state.DrawnCount(), 0);
        QVERIFY(!state.drawn(3));
        QCOMPARE(state.orderText(), DrawState::heading());
        QVERIFY(state.lastBall().isEmpty());
        QVERIFY(state.FewestPointsArmed()); // kept by the end of a draw
        state.start(DrawMode::Electronic);
        QVERIFY(!state.FewestPointsArmed()); // cleared by a start
    }

    void zoom_data()
    {
        QTest::addColumn<int>("left0");
        QTest::addColumn<int>("top0");
        QTest::newRow("ball 1") << 6 << 42;
        QTest::newRow("ball 90") << 601 << 387;
        QTest::newRow("ball 45") << 271 << 214;
    }
    void zoom()
    {
        QFETCH(int, left0);
        QFETCH(int, top0);
        const auto steps = BallMedia::zoomSteps(left0, top0);
        const int widths[] = {115, 183, 250, 317, 384, 452, 519, 586, 654, 721};
        const int heights[] = {95, 143, 190, 238, 285, 332, 380, 427, 475, 522};
        for (size_t i = 0; i < 10; ++i) {
            QCOMPARE(steps[i].width(), widths[i]);
            QCOMPARE(steps[i].height(), heights[i]);
        }
        QCOMPARE(steps[9], QRect(34, 0, 721, 522));
        // Halves round to even: from top 387 the fifth step moves 193.5 → 194.
        if (top0 == 387)
            QCOMPARE(steps[4].top(), 387 - 194);
    }

    void mediaNames()
    {
        QCOMPARE(BallMedia::soundName(7), QStringLiteral("spbl7.wav"));
        QCOMPARE(BallMedia::pictureName(90), QStringLiteral("imbl90.jpg"));
        QCOMPARE(BallMedia::soundProbeName(), QStringLiteral("spbl10.wav"));
        QCOMPARE(BallMedia::pictureProbeName(), QStringLiteral("imbl10.jpg"));
    }
};

QTEST_APPLESS_MAIN(TestDrawState)
#include "tst_drawstate.moc"
