#include "DrawFixture.h"
#include "TestSupport.h"
#include "report/Fonts.h"
#include "game/DrawLog.h"
#include "game/LoggedDraw.h"
#include "ui/UiBuild.h"
#include "validation/ValidationRegistry.h"

#include <sys/stat.h>

#include <sqlite3.h>

using namespace bolaris;
using namespace bolaris::test;

namespace {

const QString kCli = QStringLiteral(BOLARIS_CLI);

} // namespace

class TestReplay : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    // The tool prints, ball by ball, what the Draw panel's text box shows.
    void sameLinesAsThePanel()
    {
        DrawFixture g(sellTwoCards);
        const QList<int> balls = {24, 40, 70, 87, 1, 21, 32, 72, 51, 88, 11, 22, 48, 65, 51, 51};
        QString panel;
        g.enter();
        g.click(QStringLiteral("CheckLinha"));
        g.click(QStringLiteral("Check2linhas"));
        g.startManual();
        for (int ball : balls) {
            g.clickBall(ball);
            panel += QStringLiteral("ball %1\n").arg(ball);
            const QString memo = g.text(QStringLiteral("Memo1"));
            if (!memo.isEmpty())
                panel += memo + QLatin1Char('\n');
        }
        QVERIFY(panel.contains(QStringLiteral("LINHA. Cartão 7")));
        QVERIFY(panel.contains(QStringLiteral("2 LINHAS. Cartão 7")));

        QStringList list;
        for (int b : balls)
            list << QString::number(b);
        const QByteArray before = readBytes(QDir(g.dir.path()).filePath("Validadas.cds"));
        // The program has the folder open: the tool only reads.
        const Run run = runProgram(kCli, {"replay", "--balls", list.join(','), "--linha", "--2linhas", "--dir",
                                          g.dir.path()});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, panel);
        QCOMPARE(readBytes(QDir(g.dir.path()).filePath("Validadas.cds")), before);
    }

    // The draw log read back, and a logged draw replayed against the registry.
    void loggedDraws()
    {
        DrawFixture g(sellTwoCards);
        g.enter();
        g.click(QStringLiteral("CheckLinha"));
        g.startManual();
        for (int ball : {24, 40, 70, 87, 1, 21, 32, 72, 51, 5, 5})
            g.clickBall(ball);
        g.prompter.answers = {true};
        g.click(QStringLiteral("ButtonFim"));
        g.startElectronic();
        g.drawBall(90);
        g.panel->drainLog();
        const QString dir = g.dir.path();

        const Run list = runProgram(kCli, {"draw-log", "--dir", dir});
        QCOMPARE(list.status, 0);
        const QStringList lines = list.out.split(QLatin1Char('\n'));
        QVERIFY2(lines[0].startsWith(QStringLiteral("draw 1  ")) && lines[0].contains(QStringLiteral("manual  9 balls")),
                 qPrintable(list.out));
        QCOMPARE(lines[1], QStringLiteral("  competing: 2 cards, 1 returned tickets, 11 tickets compete"));
        QCOMPARE(lines[2], QStringLiteral("  balls: 24 40 70 87 1 21 32 72 51 5 -5"));
        QCOMPARE(lines[3], QStringLiteral("  prizes: LINHA card 1 series A ticket 1 at ball 51; "
                                          "LINHA card 2 series A ticket 7 at ball 51"));
        QVERIFY(lines[4].startsWith(QStringLiteral("draw 2  ")) && lines[4].contains(QStringLiteral("(not ended)")));
        QVERIFY(lines[4].contains(QStringLiteral("electronic  1 balls")));

        const Run events = runProgram(kCli, {"draw-log", "--draw", "1", "--dir", dir});
        QCOMPARE(events.status, 0);
        QVERIFY2(events.out.contains(QStringLiteral("ball 51 drawn (linha)\n    CARTELA 1 SERIE A\n    LINHA. Cartão 1\n")),
                 qPrintable(events.out));
        QVERIFY(events.out.contains(QStringLiteral("    winner: LINHA card 2 series A ticket 7\n")));
        QVERIFY(events.out.contains(QStringLiteral("ball 5 taken back (full ticket only)")));
        QVERIFY(events.out.contains(QStringLiteral("draw 1 ends")));

        const Run same = runProgram(kCli, {"replay", "--draw", "1", "--dir", dir});
        QCOMPARE(same.status, 0);
        QCOMPARE(same.out, QStringLiteral("draw 1: every announcement of its 11 ball events matches the log\n"));

        // Ticket 7 returned and more cards sold after the draw: the draw is
        // checked against what competed in it, and still matches.
        g.prompter.answers = {true, true};
        g.window->registry().SaiEnterC(QStringLiteral("A"), QStringLiteral("7"), g.prompter);
        g.window->registry().SaiEnter(QStringLiteral("A"), QStringLiteral("3-40"), g.prompter);
        const Run later = runProgram(kCli, {"replay", "--draw", "1", "--dir", dir});
        QCOMPARE(later.status, 0);
        QCOMPARE(later.out, same.out);

        // A draw logged before the set was kept is checked against today's
        // registry, and the tool says so.
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(QDir(dir).filePath("Sorteios.cds")).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "UPDATE records SET f14 = NULL WHERE f0 = 1 AND f3 = 'inicio'", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        const Run older = runProgram(kCli, {"replay", "--draw", "1", "--dir", dir});
        QCOMPARE(older.status, 1);
        QVERIFY2(older.out.startsWith(QStringLiteral("draw 1 was logged before the competing set was kept")),
                 qPrintable(older.out + older.err));
        QVERIFY(older.out.contains(QStringLiteral("ball 51: the log says")));
        QVERIFY(older.out.contains(QStringLiteral("do not announce what the log says")));

        QCOMPARE(runProgram(kCli, {"replay", "--draw", "9", "--dir", dir}).status, 1);
        QCOMPARE(runProgram(kCli, {"draw-log", "--draw", "9", "--dir", dir}).status, 1);
    }

    // A draw killed in the middle is offered back when the panel opens;
    // resumed, it goes on as it stood, and replays as matching across the
    // break, with its log still sealed.
    void resumedAfterAKill()
    {
        DrawFixture g([](const QString &dir) {
            QProcess crash;
            crash.start(QStringLiteral(CRASH_DRAW), {dir});
            QVERIFY(crash.waitForFinished(60000));
            QCOMPARE(crash.exitStatus(), QProcess::CrashExit);
        });
        const bool lastLogged = LoggedDraw::read(g.dir.path(), 1)->balls.size() == 5;
        g.prompter.answers = {true};
        g.enter();
        QCOMPARE(g.prompter.shown.size(), 1);
        QCOMPARE(g.prompter.lastText(), lastLogged ? QStringLiteral("O sorteio 1 foi interrompido depois de 5 pedras "
                                                                    "(última: 72). Continua este sorteio?")
                                                   : QStringLiteral("O sorteio 1 foi interrompido depois de 4 pedras "
                                                                    "(última: 51). Continua este sorteio?"));
        QVERIFY(g.prompter.shown.last().defaultYes);
        QCOMPARE(g.panel->state().mode(), DrawMode::Manual);
        QCOMPARE(g.panel->state().DrawnCount(), lastLogged ? 5 : 4);
        QCOMPARE(g.text(QStringLiteral("LabelOrdem")),
                 lastLogged ? QStringLiteral("Ordem do sorteio:1 21 32 51 72 ") : QStringLiteral("Ordem do sorteio:1 21 32 51 "));
        QCOMPARE(g.ballColour(51), ui::clRed);
        QCOMPARE(g.get<QCheckBox>(QStringLiteral("CheckLinha"))->isChecked(), !lastLogged); // the line won at 72
        if (!lastLogged)
            g.clickBall(72);
        QVERIFY(!g.get<QCheckBox>(QStringLiteral("CheckLinha"))->isChecked());
        QCOMPARE(g.panel->game().prizes().size(), 1);
        for (int ball : {11, 22, 48, 65, 88, 12, 33, 57, 69, 89})
            g.clickBall(ball);
        QVERIFY(g.text(QStringLiteral("Memo1")).contains(QStringLiteral("CARTAO. Cartão 7")));
        g.prompter.answers = {true};
        g.click(QStringLiteral("ButtonFim"));
        g.panel->drainLog();

        const Run replayed = runProgram(kCli, {"replay", "--draw", "1", "--dir", g.dir.path()});
        QCOMPARE(replayed.status, 0);
        QCOMPARE(replayed.out, QStringLiteral("draw 1: every announcement of its 15 ball events matches the log\n"));
        const Run verified = runProgram(kCli, {"draw-log", "--verify", "--dir", g.dir.path()});
        QCOMPARE(verified.status, 0);
        const std::optional<LoggedDraw> draw = LoggedDraw::read(g.dir.path(), 1);
        QCOMPARE(draw->resumed.size(), 1);
        QVERIFY(!draw->interrupted);

        // Ended as it should, it is not offered again.
        g.prompter.clear();
        g.prompter.answers = {true};
        g.click(QStringLiteral("ButtonSair"));
        g.enter();
        QVERIFY(g.prompter.shown.isEmpty());
    }

    // A draw cut short is closed at the next start and shown as interrupted,
    // and still replayed.
    void interruptedDraw()
    {
        QTemporaryDir dir;
        {
            DrawLogWriter cut(dir.path());
            QVERIFY(cut.startDraw(DrawMode::Manual));
            QVERIFY(cut.ball({7, true, DrawMode::Manual, "7"}, {}));
        }
        DrawLogWriter next(dir.path());
        QVERIFY(next.startDraw(DrawMode::Manual));
        const Run list = runProgram(kCli, {"draw-log", "--dir", dir.path()});
        QCOMPARE(list.status, 0);
        QVERIFY2(list.out.startsWith(QStringLiteral("draw 1  ")) && list.out.section('\n', 0, 0).contains("(interrupted)"),
                 qPrintable(list.out));
        QVERIFY(list.out.contains(QStringLiteral("draw 2  ")) && list.out.contains(QStringLiteral("(not ended)")));
        const Run events = runProgram(kCli, {"draw-log", "--draw", "1", "--dir", dir.path()});
        QVERIFY2(events.out.contains(QStringLiteral("draw 1 interrupted")), qPrintable(events.out));
        const Run replayed = runProgram(kCli, {"replay", "--draw", "1", "--dir", dir.path()});
        QVERIFY2(replayed.out.contains(QStringLiteral("its 1 ball events matches")), qPrintable(replayed.out + replayed.err));
    }

    // A log that cannot be read is reported with its reason and exit 1.
    void unreadableLog_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("folder") << "folder" << "is not a regular file but a folder";
        QTest::newRow("FIFO") << "fifo" << "is not a regular file but a FIFO";
        QTest::newRow("link to a device") << "device" << "is not a regular file but a device";
    }
    void unreadableLog()
    {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString log = QDir(dir.path()).filePath(QStringLiteral("sorteios.CDS"));
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sorteios.CDS")));
        else if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), log));
        for (const QStringList &args : {QStringList{"draw-log"}, QStringList{"replay", "--draw", "1"}}) {
            const Run r = runProgram(kCli, args + QStringList{"--dir", dir.path()});
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains(says), qPrintable(r.err));
        }
        // The panel's writer gives the reason in the operator's words.
        DrawLogWriter writer(dir.path());
        QVERIFY(!writer.startDraw(DrawMode::Manual));
        QVERIFY2(writer.failurePortuguese().contains(QStringLiteral("não de um arquivo comum")),
                 qPrintable(writer.failurePortuguese()));
    }

    void cardsNotInTheStoreAreNamed()
    {
        QTemporaryDir dir;
        ScriptedPrompter yes;
        {
            ValidationRegistry registry(dir.path());
            registry.lock();
            registry.open();
            yes.answers = {true};
            registry.SaiEnter(QStringLiteral("C"), QStringLiteral("5"), yes);
            registry.close();
        }
        const Run run = runProgram(kCli, {"replay", "--balls", "1,2,3,4,5,6,7,8,9,10", "--dir", dir.path()});
        QCOMPARE(run.status, 0);
        QVERIFY(run.err.contains(QStringLiteral("C-5")));
        QVERIFY(run.out.startsWith(QStringLiteral("ball 1\nball 2\n")));
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("no list") << QStringList{"replay"} << "usage";
        QTest::newRow("empty list") << QStringList{"replay", "--balls", ""} << "empty";
        QTest::newRow("ball 0") << QStringList{"replay", "--balls", "1,0"} << "'0'";
        QTest::newRow("ball 91") << QStringList{"replay", "--balls", "91"} << "'91'";
        QTest::newRow("not a number") << QStringList{"replay", "--balls", "7,x"} << "'x'";
        QTest::newRow("two commas") << QStringList{"replay", "--balls", "7,,8"} << "''";
        QTest::newRow("missing folder") << QStringList{"replay", "--balls", "7", "--dir", "/nonexistent/hall"}
                                        << "not found";
        QTest::newRow("repeated option") << QStringList{"replay", "--balls", "7", "--balls", "8"} << "more than once";
        QTest::newRow("balls and draw") << QStringList{"replay", "--balls", "7", "--draw", "1"} << "usage";
        QTest::newRow("draw with switches") << QStringList{"replay", "--draw", "1", "--linha"} << "own prize switches";
        QTest::newRow("draw 0") << QStringList{"replay", "--draw", "0"} << "not a draw number";
        QTest::newRow("log of draw x") << QStringList{"draw-log", "--draw", "x"} << "not a draw number";
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const Run run = runProgram(kCli, args);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(says), qPrintable(run.err));
    }
};

QTEST_MAIN(TestReplay)
#include "tst_replay.moc"
