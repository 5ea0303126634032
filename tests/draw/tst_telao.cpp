#include "DrawFixture.h"
#include "cards/SeriesA.h"
#include "draw/PlayersDisplay.h"
#include "report/Fonts.h"
#include "validation/ValidationRegistry.h"

#include <QDir>

using namespace bolaris;
using namespace bolaris::test;

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

        f.prompter.answers = {true};
        f.click(QStringLiteral("ButtonFim"));
        QCOMPARE(display->board().count, 0);
        QCOMPARE(display->board().last, 0);
        f.startElectronic();
        f.drawBall(9);
        QCOMPARE(display->board().last, 9);
        f.prompter.answers = {true};
        f.click(QStringLiteral("ButtonSair")); // leaving ends the draw: the display shows it
        QCOMPARE(display->board().count, 0);
        QVERIFY(display->isVisible());
    }

    // A full ticket is announced on the display at the ball that completes
    // it, not again at the balls after it (the operator's report repeats it).
    void prizeShownAtItsBallOnly()
    {
        DrawFixture f(sellCardTwo);
        f.enter();
        f.click(QStringLiteral("CheckTelao"));
        PlayersDisplay *display = f.panel->playersDisplay();
        f.startManual();
        const std::string_view card = SeriesACard(2); // ticket 7 is its first
        for (int cell = 0; cell < 15; ++cell)
            f.clickBall(std::stoi(std::string(card.substr(size_t(2 * cell), 2))));
        QCOMPARE(display->board().banner, QStringList{"CARTELA CHEIA — Cartela 2 série A"});
        int other = 1;
        while (f.panel->state().drawn(other))
            ++other;
        f.clickBall(other);
        QVERIFY(f.text(QStringLiteral("Memo1")).contains(QStringLiteral("CARTELA 2 SERIE A")));
        QVERIFY(display->board().banner.isEmpty());
    }

    // The banner has a place of its own: the board and the last ball look
    // the same with and without it.
    void bannerLeavesTheBoardInSight()
    {
        const QRectF banner = PlayersDisplay::bannerArea();
        QVERIFY(QRectF(QPointF(0, 0), QSizeF(PlayersDisplay::kDesign)).contains(banner));
        QVERIFY(!banner.intersects(PlayersDisplay::lastBallArea()));
        for (int n = 1; n <= DrawState::kBalls; ++n)
            QVERIFY(!banner.intersects(PlayersDisplay::ballCell(n)));

        PlayersDisplay display;
        display.resize(PlayersDisplay::kDesign);
        DisplayBoard board;
        for (int n : {1, 45, 90})
            board.drawn[size_t(n)] = true;
        board.count = 3;
        board.last = 90;
        display.setBoard(board);
        const QImage without = display.grab().toImage();
        for (int i = 1; i <= 5; ++i)
            board.banner << QStringLiteral("CARTELA CHEIA — Cartela %1 série A").arg(1990 + i);
        display.setBoard(board);
        const QImage with = display.grab().toImage();
        const QRect place = banner.toAlignedRect();
        // Glyphs drawn twice may differ in their anti-aliased edges by a shade.
        const auto differ = [](QRgb a, QRgb b) {
            return qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b)) > 24;
        };
        int changedOutside = 0, changedInside = 0;
        for (int y = 0; y < with.height(); y += 3)
            for (int x = 0; x < with.width(); x += 3)
                if (differ(with.pixel(x, y), without.pixel(x, y)))
                    ++(place.contains(x, y) ? changedInside : changedOutside);
        QCOMPARE(changedOutside, 0);
        QVERIFY(changedInside > 0);
    }

    // On one screen the display takes the largest window of its shape that
    // fits beside or below what the operator uses: the controls column, the
    // prize switches, the prizes window below the main window, and in a
    // manual draw the board; it never covers them.
    void placeOnScreen_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QList<QRect>>("keepClear");
        QTest::addColumn<QRect>("frame");
        const QRect column(682, 49, 123, 519), switches(425, 515, 108, 54), board(14, 49, 670, 396);
        const auto prizes = [](int height) { return QRect(0, 592, 812, height); };
        QTest::newRow("1024 x 768: left of the controls, over the board")
            << QRect(0, 0, 1024, 768) << QList<QRect>{column, switches, prizes(176)} << QRect(0, 0, 680, 402);
        QTest::newRow("1024 x 768, manual draw: below the board")
            << QRect(0, 0, 1024, 768) << QList<QRect>{column, switches, prizes(176), board} << QRect(0, 447, 218, 143);
        QTest::newRow("1280 x 1024: over the board")
            << QRect(0, 0, 1280, 1024) << QList<QRect>{column, switches, prizes(420)} << QRect(0, 0, 680, 402);
        QTest::newRow("1280 x 1024, manual draw: beside the window")
            << QRect(0, 0, 1280, 1024) << QList<QRect>{column, switches, prizes(420), board} << QRect(814, 0, 466, 282);
        QTest::newRow("1920 x 1080: beside the window")
            << QRect(0, 0, 1920, 1080) << QList<QRect>{column, switches, prizes(420)} << QRect(814, 0, 1106, 642);
        QTest::newRow("little room, the main window kept clear")
            << QRect(0, 0, 900, 640) << QList<QRect>{} << QRect(814, 0, 86, 68);
    }
    void placeOnScreen()
    {
        QFETCH(QRect, screen);
        QFETCH(QList<QRect>, keepClear);
        QFETCH(QRect, frame);
        const QMargins margins(1, 20, 1, 1);
        const QRect main(0, 0, 812, 590);
        const QRect found = PlayersDisplay::placeOnScreen(main, keepClear, screen, margins);
        QCOMPARE(found, frame);
        QVERIFY(screen.contains(found));
        for (const QRect &kept : keepClear.isEmpty() ? QList<QRect>{main} : keepClear)
            QVERIFY(!found.intersects(kept));
        const QRect client = found.marginsRemoved(margins);
        QVERIFY(qAbs(client.width() * 9 - client.height() * 16) < 16 * 2);
    }

    // With the address for phones shown, the QR code and the address have a
    // light card of their own at the foot of the column, touching nothing
    // else, and the address is dark and at least 3 % of the window's height,
    // on a TV, a 4:3 projector and a small window on the operator's screen.
    void phonesCard_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<QString>("address");
        const QString longest = QStringLiteral("http://192.168.100.200:8090/");
        const QString usual = QStringLiteral("http://192.168.0.10:8090/");
        QTest::newRow("1080p") << QSize(1920, 1080) << longest;
        QTest::newRow("4:3 projector") << QSize(1024, 768) << usual;
        QTest::newRow("5:4 screen") << QSize(1280, 1024) << usual;
        QTest::newRow("small window") << QSize(678, 381) << longest;
    }
    void phonesCard()
    {
        QFETCH(QSize, window);
        QFETCH(QString, address);
        const QRectF card = PlayersDisplay::phonesArea();
        QVERIFY(card.contains(PlayersDisplay::qrArea()) && card.contains(PlayersDisplay::addressArea()));
        QVERIFY(!PlayersDisplay::qrArea().intersects(PlayersDisplay::addressArea()));
        QVERIFY(!card.intersects(PlayersDisplay::lastBallArea(true)) && !card.intersects(PlayersDisplay::bannerArea()));
        for (int n = 1; n <= DrawState::kBalls; ++n)
            QVERIFY(!card.intersects(PlayersDisplay::ballCell(n)));

        PlayersDisplay display;
        display.resize(window);
        DisplayBoard board;
        board.drawn[88] = true;
        board.count = 1;
        board.last = 88;
        board.inPlay = {true, true, true}; // the longest list of prizes
        display.setBoard(board);
        display.setAddress(address);
        const QImage image = display.grab().toImage();
        QDir().mkpath(QStringLiteral(BOLARIS_ARTIFACTS "/telao"));
        image.save(QStringLiteral(BOLARIS_ARTIFACTS "/telao/phones-%1x%2.png").arg(window.width()).arg(window.height()));
        const QRectF design = PlayersDisplay::designRect(window);
        const double scale = design.width() / PlayersDisplay::kDesign.width();
        const auto onScreen = [&](const QRectF &r) {
            return QRectF(design.topLeft() + r.topLeft() * scale, r.size() * scale).toAlignedRect();
        };
        // Nothing but the background around the card: it touches no text.
        const QRect around = onScreen(card).adjusted(-2, -4, 0, 0);
        const QRgb background = image.pixel(around.topLeft());
        for (int x = around.left(); x <= around.right(); ++x)
            QCOMPARE(image.pixel(x, around.top()), background);
        // The address: dark letters on the light card, as tall as asked.
        const QRect box = onScreen(PlayersDisplay::addressArea());
        int top = box.bottom(), bottom = box.top(), lightest = 0, darkest = 255;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x) {
                const int grey = qGray(image.pixel(x, y));
                lightest = std::max(lightest, grey);
                darkest = std::min(darkest, grey);
                if (grey < 100) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        QVERIFY(lightest > 245 && darkest < 60);
        QVERIFY2(bottom - top + 1 >= 0.03 * window.height(),
                 qPrintable(QStringLiteral("%1 of %2").arg(bottom - top + 1).arg(window.height())));
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
