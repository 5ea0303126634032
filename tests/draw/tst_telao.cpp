#include "DrawFixture.h"
#include "draw/PlayersDisplay.h"
#include "report/Fonts.h"
#include "validation/ValidationRegistry.h"

using namespace bolaris;
using namespace bolaris::test;

namespace {

void sellCardTwo(const QString &dir)
{
    ScriptedPrompter yes;
    yes.answers = {true};
    ValidationRegistry registry(dir);
    registry.lock();
    registry.open();
    registry.SaiEnter(QStringLiteral("A"), QStringLiteral("2"), yes);
    registry.close();
}

} // namespace

class TestTelao : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void checkBox()
    {
        DrawFixture f;
        auto *box = f.get<QCheckBox>(QStringLiteral("CheckTelao"));
        QCOMPARE(box->text(), QStringLiteral("Telão"));
        QCOMPARE(box->geometry(), QRect(681, 208, 102, 17));
        QVERIFY(!box->isChecked());
        QVERIFY(!f.panel->playersDisplay());
    }

    // The display follows a draw ball by ball, and never changes it.
    void followsTheDraw()
    {
        DrawFixture f(sellCardTwo);
        f.enter();
        f.click(QStringLiteral("CheckLinha"));
        f.click(QStringLiteral("CheckTelao"));
        PlayersDisplay *display = f.panel->playersDisplay();
        QVERIFY(display && display->isVisible());
        f.startManual();
        QCOMPARE(display->board().count, 0);
        QCOMPARE(display->board().prizesInPlay(), (QStringList{"Linha", "Cartela cheia"}));

        for (int ball : {1, 21, 32, 51}) {
            f.clickBall(ball);
            QVERIFY(display->board().drawn[size_t(ball)]);
            QCOMPARE(display->board().last, ball);
            QVERIFY(display->board().banner.isEmpty());
        }
        QCOMPARE(display->board().count, 4);

        f.clickBall(72); // completes row 1 of ticket 7
        QCOMPARE(display->board().banner, QStringList{"LINHA — Cartela 2 série A"});
        QCOMPARE(display->board().prizesInPlay(), QStringList{"Cartela cheia"}); // the line went off

        f.clickBall(72); // taken back: the banner goes, the ball is off the board
        QVERIFY(display->board().banner.isEmpty());
        QVERIFY(!display->board().drawn[72]);
        QVERIFY(display->board().lastTakenBack);
        QCOMPARE(display->board().count, 4);

        // Keys and clicks on the display change nothing of the draw.
        QTest::keyClick(display, Qt::Key_Space);
        QTest::mouseClick(display, Qt::LeftButton);
        QCOMPARE(f.panel->state().DrawnCount(), 4);

        f.click(QStringLiteral("ButtonFim"));
        QCOMPARE(display->board().count, 0);
        QCOMPARE(display->board().last, 0);
        f.startElectronic();
        f.drawBall(9);
        QCOMPARE(display->board().last, 9);
        f.click(QStringLiteral("ButtonSair")); // leaving ends the draw: the display shows it
        QCOMPARE(display->board().count, 0);
        QVERIFY(display->isVisible());
    }

    void closingAndUnticking()
    {
        DrawFixture f;
        f.enter();
        f.click(QStringLiteral("CheckTelao"));
        PlayersDisplay *display = f.panel->playersDisplay();
        QVERIFY(display->isVisible());
        f.click(QStringLiteral("CheckTelao"));
        QVERIFY(!display->isVisible());
        QVERIFY(!f.panel->playersDisplay());
        f.click(QStringLiteral("CheckTelao"));
        QVERIFY(display->isVisible());
        display->close(); // its close box unticks the check box
        QVERIFY(!f.get<QCheckBox>(QStringLiteral("CheckTelao"))->isChecked());
    }

    void scalesWithoutDistortion_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QRectF>("design");
        QTest::newRow("1080p") << QSize(1920, 1080) << QRectF(0, 0, 1920, 1080);
        QTest::newRow("4K") << QSize(3840, 2160) << QRectF(0, 0, 3840, 2160);
        QTest::newRow("4:3 projector") << QSize(1024, 768) << QRectF(0, 96, 1024, 576);
        QTest::newRow("portrait") << QSize(1080, 1920) << QRectF(0, 656.25, 1080, 607.5);
        QTest::newRow("ultra wide") << QSize(3440, 1440) << QRectF(440, 0, 2560, 1440);
    }
    void scalesWithoutDistortion()
    {
        QFETCH(QSize, window);
        QFETCH(QRectF, design);
        QCOMPARE(PlayersDisplay::designRect(window), design);
        // And it paints at that size.
        PlayersDisplay display;
        DisplayBoard board;
        board.drawn[45] = true;
        board.count = 1;
        board.last = 45;
        board.banner = {"CARTELA CHEIA — Cartela 12 série A"};
        display.setBoard(board);
        display.resize(window);
        const QImage image = display.grab().toImage();
        QCOMPARE(image.size(), window);
    }
};

QTEST_MAIN(TestTelao)
#include "tst_telao.moc"
