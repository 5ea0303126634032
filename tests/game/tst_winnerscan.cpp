#include "PlainScan.h"
#include "TestSupport.h"
#include "cards/CardGenerator.h"
#include "cards/CardStore.h"
#include "game/CompetingSet.h"
#include "game/DrawState.h"
#include "game/FewestPointsTable.h"
#include "game/GameStep.h"
#include "game/WinnerScan.h"
#include "validation/ValidationRegistry.h"

#include <QRandomGenerator>
#include <QMetaType>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <random>

Q_DECLARE_METATYPE(bolaris::PrizeSwitches)

using namespace bolaris;

namespace {

// The tickets of cards that the cases use, row by row.
const QList<int> kTicket7 = {1, 21, 32, 51, 72, 11, 22, 48, 65, 88, 12, 33, 57, 69, 89};
const QList<int> kTicket8 = {3, 13, 44, 52, 74, 7, 24, 47, 61, 76, 14, 39, 59, 67, 84};

// A registry in a fresh folder, series A in the card store, and a manual draw.
struct Hall {
    QTemporaryDir dir;
    test::ScriptedPrompter prompter;
    CartelaTable cards;
    ValidationRegistry registry{dir.path()};
    DrawState draw;
    WinnerScan scan{cards, registry.TableVali(), registry.TableValiC()};

    Hall()
    {
        cards.storeSeriesA();
        registry.open();
        draw.start(DrawMode::Manual);
    }
    void validate(const QString &series, const QString &cards_)
    {
        prompter.answers = {true};
        registry.SaiEnter(series, cards_, prompter);
    }
    void returnTicket(const QString &series, int ticket)
    {
        prompter.answers = {true};
        registry.SaiEnterC(series, QString::number(ticket), prompter);
    }
    void drawBalls(const QList<int> &balls)
    {
        for (int b : balls)
            if (!draw.drawn(b))
                draw.clickManual(b);
    }
    ScanReport check(PrizeSwitches switches = {}) { return scan.CheckWinners(draw, switches); }
    CompetingSet competing() { return CompetingSet::fromRegistry(registry.TableVali(), registry.TableValiC()); }
};

QList<int> without(QList<int> balls, const QList<int> &out)
{
    for (int b : out)
        balls.removeAll(b);
    return balls;
}

// Draws the balls (a ball drawn again is taken back) with every prize on;
// each scan's report is the plain walk's.
void sameAsThePlainWalkFor(Hall &h, std::initializer_list<int> balls)
{
    test::PlainScan plain;
    DrawState twin = h.draw;
    for (int ball : balls) {
        h.draw.clickManual(ball);
        twin.clickManual(ball);
        const PrizeSwitches all{true, true, true};
        const ScanReport fast = h.check(all);
        const ScanReport slow = plain.CheckWinners(h.cards, h.registry.TableVali(), h.registry.TableValiC(), twin, all);
        QCOMPARE(fast.lines, slow.lines);
        QCOMPARE(fast.missCount, slow.missCount);
        QCOMPARE(fast.fewest, slow.fewest);
    }
}

} // namespace

class TestWinnerScan : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void threshold_data()
    {
        QTest::addColumn<bool>("cantos");
        QTest::addColumn<bool>("linha");
        QTest::addColumn<bool>("twoRows");
        QTest::addColumn<int>("threshold");
        QTest::newRow("full ticket only") << false << false << false << 10;
        QTest::newRow("corners") << true << false << false << 3;
        QTest::newRow("line") << false << true << false << 3;
        QTest::newRow("two lines") << false << false << true << 8;
        QTest::newRow("corners and two lines") << true << false << true << 3;
    }
    void threshold()
    {
        QFETCH(bool, cantos);
        QFETCH(bool, linha);
        QFETCH(bool, twoRows);
        QFETCH(int, threshold);
        const PrizeSwitches switches{cantos, linha, twoRows};
        QCOMPARE(WinnerScan::ScanThreshold(switches), threshold);
        Hall h;
        h.validate("A", "1-2");
        for (int ball = 1; ball < threshold; ++ball)
            h.drawBalls({ball});
        const ScanReport before = h.check(switches);
        QVERIFY(!before.scanned);
        QVERIFY(before.lines.isEmpty());
        h.drawBalls({threshold});
        QVERIFY(h.check(switches).scanned);
    }

    // Each case: cards validated, tickets returned, balls drawn, switches, and
    // the text box's lines and winners that must come out.
    void announcements_data()
    {
        QTest::addColumn<QString>("cards");
        QTest::addColumn<QList<int>>("returned");
        QTest::addColumn<QList<int>>("balls");
        QTest::addColumn<PrizeSwitches>("switches");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<PrizeSwitches>("won");

        QTest::newRow("corners of ticket 7")
            << "2" << QList<int>{} << QList<int>{1, 72, 12, 89} << PrizeSwitches{true, false, false}
            << QStringList{"CARTELA 2 SERIE A", "CANTOS. Cartão 7"} << PrizeSwitches{true, false, false};
        QTest::newRow("two lines at one ball, in the order of the walk")
            << "1-2" << QList<int>{} << QList<int>{24, 40, 70, 87, 1, 21, 32, 72, 51} << PrizeSwitches{false, true, false}
            << QStringList{"CARTELA 1 SERIE A", "LINHA. Cartão 1", "CARTELA 2 SERIE A", "LINHA. Cartão 7"}
            << PrizeSwitches{false, true, false};
        QTest::newRow("one ticket three times")
            << "2" << QList<int>{} << kTicket7.mid(0, 10) << PrizeSwitches{false, true, true}
            << QStringList{"CARTELA 2 SERIE A", "LINHA. Cartão 7", "CARTELA 2 SERIE A", "LINHA. Cartão 7",
                           "CARTELA 2 SERIE A", "2 LINHAS. Cartão 7"}
            << PrizeSwitches{false, true, true};
        QTest::newRow("every pattern of a full ticket, in order")
            << "2" << QList<int>{8, 9, 10, 11, 12} << kTicket7 << PrizeSwitches{true, true, true}
            << QStringList{"CARTELA 2 SERIE A", "CANTOS. Cartão 7",   "CARTELA 2 SERIE A", "LINHA. Cartão 7",
                           "CARTELA 2 SERIE A", "LINHA. Cartão 7",    "CARTELA 2 SERIE A", "LINHA. Cartão 7",
                           "CARTELA 2 SERIE A", "2 LINHAS. Cartão 7", "CARTELA 2 SERIE A", "2 LINHAS. Cartão 7",
                           "CARTELA 2 SERIE A", "2 LINHAS. Cartão 7", "CARTELA 2 SERIE A", "CARTAO. Cartão 7"}
            << PrizeSwitches{true, true, true};
        QTest::newRow("a returned ticket is neither announced nor counted")
            << "2" << QList<int>{7, 8, 9, 10, 11, 12} << kTicket7 << PrizeSwitches{true, true, true} << QStringList{}
            << PrizeSwitches{};
        QTest::newRow("near misses, full ticket only")
            << "2" << QList<int>{8, 9, 10, 11, 12} << without(kTicket7, {72, 88, 89}) << PrizeSwitches{}
            << QStringList{"1 faltando 3 pedras."} << PrizeSwitches{};
        QTest::newRow("near misses with the line")
            << "2" << QList<int>{8, 9, 10, 11, 12} << without(kTicket7, {72, 88, 89})
            << PrizeSwitches{false, true, false} << QStringList{"3 faltando 1 pedra.", "1 faltando 3 pedras."}
            << PrizeSwitches{};
        QTest::newRow("near misses by count")
            << "2" << QList<int>{9, 10, 11, 12} << without(kTicket7, {72, 88, 89}) + kTicket8.mid(0, 4)
            << PrizeSwitches{false, false, true}
            // ticket 7 rows 1,1,1: pairs 2,2,2, full 3; ticket 8 rows 1,5,5: pairs 6,6,10, full 11
            << QStringList{"3 faltando 2 pedras.", "1 faltando 3 pedras."} << PrizeSwitches{};
    }
    void announcements()
    {
        QFETCH(QString, cards);
        QFETCH(QList<int>, returned);
        QFETCH(QList<int>, balls);
        QFETCH(PrizeSwitches, switches);
        QFETCH(QStringList, lines);
        QFETCH(PrizeSwitches, won);
        Hall h;
        h.validate("A", cards);
        for (int t : returned)
            h.returnTicket("A", t);
        h.drawBalls(balls);
        while (h.draw.DrawnCount() < WinnerScan::ScanThreshold(switches)) // filler balls on no competing ticket
            h.drawBalls({QList<int>{90, 86, 83, 80, 77, 75, 73, 70, 68, 66}[h.draw.DrawnCount() % 10]});
        const ScanReport report = h.check(switches);
        QVERIFY(report.scanned);
        QCOMPARE(report.lines, lines);
        QCOMPARE(report.won, won);
        QCOMPARE(report.winners.size(), lines.filter(QStringLiteral("Cartão")).size());
        QCOMPARE(report.missCount[0], report.winners.size());
    }

    // A full ticket is announced again at every later ball, with the same
    // lines whether the reader has let the earlier reports go or holds them.
    void fullTicketAgainAfterEveryBall_data()
    {
        QTest::addColumn<bool>("hold");
        QTest::newRow("reports let go") << false;
        QTest::newRow("reports held") << true;
    }
    void fullTicketAgainAfterEveryBall()
    {
        QFETCH(bool, hold);
        const QStringList announced{"CARTELA 2 SERIE A", "CARTAO. Cartão 7"};
        Hall h;
        h.validate("A", "2");
        h.drawBalls(kTicket7);
        QList<ScanReport> held;
        for (int extra : {0, 90, 2, 3}) {
            h.drawBalls(extra ? QList<int>{extra} : QList<int>{});
            const ScanReport report = h.check();
            QCOMPARE(report.lines.mid(0, 2), announced);
            QVERIFY(report.lines.filter(QStringLiteral("faltando")).isEmpty());
            if (hold)
                held << report;
        }
        for (const ScanReport &report : held)
            QCOMPARE(report.lines.mid(0, 2), announced);
        // Taking a ball back removes the prize from the next report.
        h.draw.clickManual(51);
        QVERIFY(h.check().winners.isEmpty());
    }

    void fewestPoints()
    {
        Hall h;
        h.validate("A", "2");
        for (int t : {9, 10, 11, 12})
            h.returnTicket("A", t);
        h.drawBalls(without(kTicket7, {89}) + QList<int>{3});
        const ScanReport first = h.check();
        QVERIFY(first.oneShort);
        QVERIFY(!first.fewestRebuilt);
        QVERIFY(h.draw.FewestPointsArmed());

        h.drawBalls({89});
        const ScanReport second = h.check();
        QVERIFY(second.fewestRebuilt);
        QCOMPARE(second.lines, (QStringList{"CARTELA 2 SERIE A", "CARTAO. Cartão 7"}));
        QCOMPARE(second.maxMissing, 14);
        QCOMPARE(second.fewest, (QList<TicketRef>{{2, 'A', 8}}));
        QCOMPARE(second.fewestLines, (QStringList{"MenosPontos(1):", "Cartela2 A.Cartão 8"}));

        // A new draw disarms the list: a full ticket no longer lists it.
        h.draw.start(DrawMode::Manual);
        h.drawBalls(kTicket7);
        QVERIFY(h.check().fewestLines.isEmpty());
    }

    void fewestPointsFile()
    {
        QTemporaryDir dir;
        test::writeBytes(QDir(dir.path()).filePath("MENOS.CDS"), "old");
        FewestPointsTable table(dir.path());
        table.rebuild({{2, 'A', 8}, {5, 'B', 30}});
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty()); // deleted when rebuilt
        QCOMPARE(table.TableMenos()->recordCount(), 2);
        table.close();
        Dataset read;
        read.setDirectory(dir.path());
        read.setFileName("Menos.cds");
        read.open();
        QCOMPARE(read.recordCount(), 2);
        read.first();
        QCOMPARE(read.asInteger("Numero"), 2);
        QCOMPARE(read.asString("Serie"), QStringLiteral("A"));
        QCOMPARE(read.asInteger("Cartao"), 8);
    }

    void sevenPrizesInOneScan()
    {
        Hall h;
        h.validate("A", "2");
        for (int b = 1; b <= 90; ++b)
            h.drawBalls({b});
        const ScanReport report = h.check({false, true, false});
        QCOMPARE(report.winners.size(), 24); // three lines and the full ticket of six tickets
        QCOMPARE(report.winners.first(), (TicketRef{2, 'A', 7}));
        QCOMPARE(report.winners.last(), (TicketRef{2, 'A', 12}));
    }

    // A card not in the card store (or unreadable) is skipped and named; the
    // cards after it are still checked.
    void cardsMissingFromTheStore()
    {
        Hall h;
        h.cards.store(CardIndex('A', 1), std::string(180, 'x'));
        h.validate("A", "1-2");
        h.validate("B", "1");
        h.drawBalls(kTicket7);
        const ScanReport report = h.check();
        QCOMPARE(report.missingCards, (QStringList{"A-1", "B-1"}));
        QCOMPARE(report.lines, (QStringList{"CARTELA 2 SERIE A", "CARTAO. Cartão 7"}));
    }

    // A card of the store with a number twice in a row and among the corners
    // is counted place by place, as the plain walk counts it.
    void repeatedNumbers()
    {
        Hall h;
        std::string text(h.cards.card('A', 1));
        text.replace(2, 2, text.substr(0, 2)); // ticket 1, row 1: places 1 and 2 hold 24
        text.replace(28, 2, text.substr(0, 2)); // ticket 1, row 3: its last place holds 24
        h.cards.store(CardIndex('A', 1), text);
        h.validate("A", "1");
        sameAsThePlainWalkFor(h, {24, 70, 87, 9, 39, 41, 64, 40, 51, 18, 32, 52, 61, 88, 24, 24});
    }

    // A ball held by tickets far apart in the walk (a card file where most
    // cards lack it, each holding another number twice) is followed as any other.
    void ballHeldFarApart()
    {
        Hall h;
        for (int n = 2; n < 1400; ++n) {
            std::string text(h.cards.card('A', n));
            for (size_t at = 0; at < text.size(); at += 2)
                if (text.compare(at, 2, "90") == 0)
                    text.replace(at, 2, text.substr(at == 0 ? 2 : 0, 2));
            h.cards.store(CardIndex('A', n), text);
        }
        h.validate("A", "1-1400");
        sameAsThePlainWalkFor(h, {90, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 90, 13, 90});
    }

    // A game step switches won prizes off and tells the missing cards once a draw.
    void gameStep()
    {
        Hall h;
        h.cards.store(CardIndex('A', 1), std::string(180, 'x'));
        h.validate("A", "1-2");
        GameStep game(h.cards);
        game.newDraw(h.competing());
        game.setSwitches({true, true, false});
        h.drawBalls({1, 21, 32});
        GameStep::Result first = game.step(h.draw);
        QCOMPARE(first.missingToTell, (QStringList{"A-1"}));
        QCOMPARE(first.switchedOff, PrizeSwitches{});
        h.drawBalls({51, 72}); // row 1 of ticket 7
        GameStep::Result won = game.step(h.draw);
        QVERIFY(won.missingToTell.isEmpty());
        QCOMPARE(won.switchedOff, (PrizeSwitches{false, true, false}));
        QCOMPARE(game.switches(), (PrizeSwitches{true, false, false}));
        QCOMPARE(won.report.memoLines(), (QStringList{"CARTELA 2 SERIE A", "LINHA. Cartão 7"}));
        h.draw.start(DrawMode::Manual);
        game.newDraw(h.competing());
        h.drawBalls({1, 21, 32});
        QCOMPARE(game.step(h.draw).missingToTell, (QStringList{"A-1"}));
    }

    // What competes is fixed when the draw starts: a card sold during it
    // never wins in it, and competes in the next.
    void competingSetFixedAtTheStart()
    {
        Hall h;
        h.validate("A", "2");
        GameStep game(h.cards);
        game.newDraw(h.competing());
        h.validate("A", "1"); // sold during the draw
        h.returnTicket("A", 7); // returned during the draw: still competes in it
        h.drawBalls({24, 40, 51, 70, 87, 18, 32, 52, 61, 88, 9, 39, 41, 64, 71}); // ticket 1 of card 1, full
        h.drawBalls(kTicket7);
        QCOMPARE(game.step(h.draw).report.winners, (QList<TicketRef>{{2, 'A', 7}}));
        QCOMPARE(game.competing().cardCount(), 1);
        QCOMPARE(game.competing().cardsAddedIn(h.competing()), 1);
        h.draw.start(DrawMode::Manual);
        game.newDraw(h.competing());
        h.drawBalls({24, 40, 51, 70, 87, 18, 32, 52, 61, 88, 9, 39, 41, 64, 71});
        h.drawBalls(kTicket7);
        QCOMPARE(game.step(h.draw).report.winners, (QList<TicketRef>{{1, 'A', 1}}));
    }

    // The prizes of the draw stay listed after later balls, each with the
    // ball that won it; a ball taken back removes the prizes it undid.
    void prizesOfTheDraw()
    {
        Hall h;
        h.validate("A", "2");
        GameStep game(h.cards);
        game.newDraw(h.competing());
        game.setSwitches({true, true, true});
        const auto click = [&](int ball) {
            h.draw.clickManual(ball);
            return game.step(h.draw);
        };
        for (int ball : {1, 21, 32, 51, 72}) // row 1 of ticket 7
            click(ball);
        const PrizeWon line{"LINHA", 0, {2, 'A', 7}, 72, 5};
        QCOMPARE(game.prizes(), QList<PrizeWon>{line});
        for (int ball : {11, 22, 48, 65, 88, 5}) // row 2, and a ball no ticket needs
            click(ball);
        const PrizeWon twoLines{"2 LINHAS", 0, {2, 'A', 7}, 88, 10};
        QCOMPARE(game.prizes(), (QList<PrizeWon>{line, twoLines}));
        click(88); // taken back: two lines undone, the line stands
        QCOMPARE(game.prizes(), QList<PrizeWon>{line});
        click(88); // the switch went off with the win: not won again
        QCOMPARE(game.prizes(), QList<PrizeWon>{line});
        for (int ball : {12, 33, 57, 69, 89})
            click(ball);
        const PrizeWon corners{"CANTOS", 0, {2, 'A', 7}, 89, 16}, full{"CARTAO", 0, {2, 'A', 7}, 89, 16};
        QCOMPARE(game.prizes(), (QList<PrizeWon>{line, corners, full}));
        click(5); // a ball no prize needs, taken back
        click(33); // the full ticket undone, then won again at the next ball
        QCOMPARE(game.prizes(), (QList<PrizeWon>{line, corners}));
        click(33);
        QCOMPARE(game.prizes(), (QList<PrizeWon>{line, corners, {"CARTAO", 0, {2, 'A', 7}, 33, 15}}));
    }

    // Two rows of one ticket complete at one ball: a line for each row.
    void twoLinesOfOneTicketAtOneBall()
    {
        Hall h;
        h.validate("A", "2");
        GameStep game(h.cards);
        game.newDraw(h.competing());
        game.setSwitches({false, true, false});
        h.drawBalls({1, 21, 32, 51, 11, 22, 48, 65, 72});
        h.draw.clickManual(88);
        game.step(h.draw);
        QCOMPARE(game.prizes(), (QList<PrizeWon>{{"LINHA", 0, {2, 'A', 7}, 88, 10}, {"LINHA", 1, {2, 'A', 7}, 88, 10}}));
        QCOMPARE(game.switches(), PrizeSwitches{});
    }

    // Changes between two balls are seen by the next scan.
    void neverStale()
    {
        Hall h;
        h.validate("A", "2");
        h.drawBalls(kTicket7);
        QCOMPARE(h.check().winners.size(), 1);
        h.returnTicket("A", 7);
        QCOMPARE(h.check().winners.size(), 0);
        h.validate("A", "1");
        h.drawBalls({24, 40, 51, 70, 87, 18, 32, 52, 61, 88, 9, 39, 41, 64, 71});
        QCOMPARE(h.check().winners, (QList<TicketRef>{{1, 'A', 1}}));
        h.cards.store(CardIndex('A', 1), std::string(180, 'x'));
        QCOMPARE(h.check().winners.size(), 0);
        h.cards.storeSeriesA();
        h.prompter.answers = {true};
        QVERIFY(h.registry.ButtonInivalClick(h.prompter));
        QCOMPARE(h.check().winners.size(), 0);
    }

    // The counted scan, played through a game step, gives exactly the plain
    // walk's reports over a full registry: random draws with take-backs,
    // ball events without a scan between them, and switches going off as won
    // and being ticked again by the operator.
    void sameAsThePlainWalk()
    {
        Hall h;
        const std::vector<std::string> cards = GenerateSeriesBtoL();
        for (size_t i = 0; i < cards.size(); ++i)
            h.cards.store(kCardsPerSeries + int(i) + 1, cards[i]);
        for (QChar s : QStringLiteral("ABCDEFGHIJKL"))
            h.validate(QString(s), "1-2000");
        QRandomGenerator random(90);
        for (int i = 0; i < 2400; ++i) {
            h.prompter.answers = {true};
            h.registry.SaiEnterC(QString(QChar(u'A' + int(random.bounded(12)))),
                                 QString::number(random.bounded(1, 12001)), h.prompter);
        }
        QCOMPARE(h.registry.TableVali().recordCount(), 24000);
        // The returned tickets looked up in a set read from the dataset, which
        // keeps hundreds of full walks within a test's time.
        const auto key = [](const QString &serie, int ticket) { return serie.at(0).unicode() * 100000 + ticket; };
        QSet<int> returned;
        for (int i = 0; i < h.registry.TableValiC().recordCount(); ++i) {
            const Row &row = h.registry.TableValiC().rowAt(i);
            returned << key(row[0].toString(), row[1].toInt());
        }
        test::PlainScan plain;
        plain.isReturned = [&](Dataset &, const QString &serie, int ticket) {
            return returned.contains(key(serie, ticket));
        };
        GameStep game(h.cards);
        int scans = 0, prizes = 0, takenBack = 0, unscanned = 0;
        for (int round = 0; round < 3; ++round) {
            h.draw.start(DrawMode::Manual);
            game.newDraw(h.competing());
            DrawState twin = h.draw;
            PrizeSwitches switches{true, true, true};
            game.setSwitches(switches);
            QList<int> balls;
            for (int b = 1; b <= 90; ++b)
                balls << b;
            std::shuffle(balls.begin(), balls.end(), std::mt19937(round));
            for (int i = 0; i < 70; ++i) {
                const bool back = random.bounded(8) == 0 && i > 5;
                const int ball = back ? balls[int(random.bounded(i))] : balls[i];
                takenBack += back && h.draw.drawn(ball);
                h.draw.clickManual(ball);
                twin.clickManual(ball);
                if (random.bounded(10) == 0) { // the next scan sees two changes
                    ++unscanned;
                    continue;
                }
                if (random.bounded(12) == 0) { // the operator ticks or unticks a prize
                    const int which = int(random.bounded(3));
                    bool &s = which == 0 ? switches.cantos : which == 1 ? switches.linha : switches.twoRows;
                    s = !s;
                    game.setSwitches(switches);
                }
                const ScanReport fast = game.step(h.draw).report;
                const ScanReport slow =
                    plain.CheckWinners(h.cards, h.registry.TableVali(), h.registry.TableValiC(), twin, switches);
                ++scans;
                prizes += int(fast.winners.size());
                QCOMPARE(fast.scanned, slow.scanned);
                QCOMPARE(fast.lines, slow.lines);
                QCOMPARE(fast.winners, slow.winners);
                QCOMPARE(fast.prizes, slow.prizes);
                QCOMPARE(fast.missCount, slow.missCount);
                QCOMPARE(fast.won, slow.won);
                QCOMPARE(fast.oneShort, slow.oneShort);
                QCOMPARE(fast.fullTicket, slow.fullTicket);
                QCOMPARE(fast.maxMissing, slow.maxMissing);
                QCOMPARE(fast.fewest, slow.fewest);
                QCOMPARE(fast.fewestLines, slow.fewestLines);
                QCOMPARE(h.draw.FewestPointsArmed(), twin.FewestPointsArmed());
                switches = switches.without(slow.won);
                QCOMPARE(game.switches(), switches);
            }
        }
        QVERIFY(scans >= 150);
        QVERIFY(prizes > 0);
        QVERIFY(takenBack > 5);
        QVERIFY(unscanned > 5);
    }
};

QTEST_GUILESS_MAIN(TestWinnerScan)
#include "tst_winnerscan.moc"
