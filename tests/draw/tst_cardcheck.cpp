#include "DrawFixture.h"
#include "cards/SeriesA.h"
#include "game/DrawLog.h"
#include "report/Fonts.h"
#include "ui/UiBuild.h"

#include <QLineEdit>

#include <sqlite3.h>

using namespace bolaris;
using namespace bolaris::test;

namespace {

const QString kCli = QStringLiteral(BOLARIS_CLI);

// The Draw panel entered, a manual draw started (unless not wanted), and the
// card check panel opened.
struct Check : DrawFixture {
    explicit Check(const std::function<void(const QString &)> &prepare = {}, bool start = true) : DrawFixture(prepare)
    {
        enter();
        if (start)
            startManual();
        click(QStringLiteral("ButtonConfCart"));
    }
    QLineEdit *box(const char *name) const { return get<QLineEdit>(QString::fromLatin1(name)); }
    void look(const QString &series, const QString &card, const char *where = "EditConf")
    {
        box("EditCSerie")->clear();
        QTest::keyClicks(box("EditCSerie"), series); // typed, as the operator does
        box("EditConf")->setText(card);
        QTest::keyClick(box(where), Qt::Key_Return);
    }
    QString cell(int row, int column) const { return text(QStringLiteral("C%1%2").arg(row).arg(column)); }
    QColor cellColour(int row, int column) const
    {
        return get(QStringLiteral("C%1%2").arg(row).arg(column))->palette().color(QPalette::WindowText);
    }
    QColor rowColour(int row) const
    {
        return get(QStringLiteral("PanelC%1").arg(row))->palette().color(QPalette::Window);
    }
    QStringList ticketLabels() const
    {
        QStringList labels;
        for (int i = 1; i <= 6; ++i)
            labels << text(QStringLiteral("LabelC%1").arg(i));
        return labels;
    }
    QStringList row(int r) const
    {
        QStringList cells;
        for (int c = 1; c <= 9; ++c)
            cells << cell(r, c);
        return cells;
    }
    // The tickets marked "DEVOLVIDO" (positions 1..6) and each ticket's prizes.
    QList<int> returnedMarks() const
    {
        QList<int> marked;
        for (int i = 1; i <= 6; ++i)
            if (get(QStringLiteral("LabelDevolvido%1").arg(i))->isVisible())
                marked << i;
        return marked;
    }
    QStringList prizes() const
    {
        QStringList texts;
        for (int i = 1; i <= 6; ++i)
            texts << text(QStringLiteral("LabelPremios%1").arg(i));
        return texts;
    }
    QColor statusColour() const { return get(QStringLiteral("LabelValidada"))->palette().color(QPalette::WindowText); }
};

const QStringList kTickets1to6 = {"Cartão 1", "Cartão 2", "Cartão 3", "Cartão 4", "Cartão 5", "Cartão 6"};

} // namespace

class TestCardCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void layout()
    {
        DrawFixture f;
        QWidget *conf = f.get(QStringLiteral("PanelConf"));
        QVERIFY(conf->isHidden());
        QCOMPARE(conf->parentWidget(), f.panel);
        QCOMPARE(conf->size(), QSize(794, 536));
        QCOMPARE(f.get<QLineEdit>(QStringLiteral("EditCSerie"))->text(), QStringLiteral("A"));
        QCOMPARE(f.get<QLineEdit>(QStringLiteral("EditCSerie"))->geometry(), QRect(21, 47, 28, 32));
        QCOMPARE(f.get<QLineEdit>(QStringLiteral("EditConf"))->geometry(), QRect(21, 103, 89, 32));
        QCOMPARE(f.text(QStringLiteral("LabelC6")), QStringLiteral("Cartão 1234567"));
        QCOMPARE(f.get(QStringLiteral("PanelC18"))->geometry(), QRect(347, 498, 299, 27));
        QCOMPARE(f.get(QStringLiteral("C119"))->geometry(), QRect(265, 3, 30, 21)); // row 11 one pixel right
        QCOMPARE(f.get(QStringLiteral("C19"))->geometry(), QRect(264, 3, 30, 21));
        QCOMPARE(f.get(QStringLiteral("ButtonVCSai"))->geometry(), QRect(648, 480, 121, 25));
        QCOMPARE(f.text(QStringLiteral("Label18")), QStringLiteral("Não sorteadas"));
    }

    void openingClearsAndFocuses()
    {
        Check c;
        c.look("A", "1");
        c.click(QStringLiteral("ButtonVCSai"));
        QVERIFY(c.get(QStringLiteral("PanelConf"))->isHidden());
        QCOMPARE(c.box("EditConf")->text(), QStringLiteral("1")); // the boxes keep their texts
        c.click(QStringLiteral("ButtonConfCart"));
        QVERIFY(c.get(QStringLiteral("PanelConf"))->isVisible());
        QCOMPARE(c.get(QStringLiteral("PanelConf"))->pos(), QPoint(0, 0));
        QCOMPARE(c.cell(1, 1), QString());
        QCOMPARE(c.rowColour(1), ui::clWhite);
        QCOMPARE(c.window->focusWidget(), c.box("EditConf"));
    }

    void cardABeforeAnyBall()
    {
        Check c;
        c.look("A", "1");
        QCOMPARE(c.ticketLabels(), kTickets1to6);
        // Card A-1: row 1 is 24 40 51 70 87, row 11 holds 2 in column 1.
        QCOMPARE(c.row(1), (QStringList{"", "", "24", "", "40", "51", "", "70", "87"}));
        QCOMPARE(c.row(5), (QStringList{"2 ", "", "22", "", "44", "", "60", "", "90"}));
        for (int r = 1; r <= 18; ++r) {
            QCOMPARE(c.row(r).count(QString()), 4);
            QCOMPARE(c.rowColour(r), ui::clWhite);
            for (int col = 1; col <= 9; ++col)
                if (!c.cell(r, col).isEmpty())
                    QCOMPARE(c.cellColour(r, col), ui::clLime);
        }
    }

    void seriesBCardOne()
    {
        Check c;
        // Card B-1 is entry 2001 of the card table: here the text of card A-3.
        test::writeCardFile(c.dir.path(), {{2001, QString::fromLatin1(SeriesACard(3).data(), 180)}});
        c.window->FormActivate();
        c.look("b", "1"); // typed lower case: the box makes it upper case
        QCOMPARE(c.ticketLabels(), kTickets1to6);
        QCOMPARE(c.row(1), (QStringList{"", "11", "", "", "45", "", "60", "77", "81"}));
    }

    void drawnNumbersAndFullRows()
    {
        Check c;
        for (int ball : {10, 33, 50, 74, 84, 24}) // row 4 of card A-1, and one of row 1
            c.clickBall(ball);
        c.look("A", "1");
        QCOMPARE(c.rowColour(4), ui::clRed);
        for (int r : {1, 2, 3, 5, 18})
            QCOMPARE(c.rowColour(r), ui::clWhite);
        QCOMPARE(c.cellColour(1, 3), ui::clRed);  // 24
        QCOMPARE(c.cellColour(1, 5), ui::clLime); // 40
        // A snapshot: a later ball shows only after Enter again.
        c.clickBall(40);
        QCOMPARE(c.cellColour(1, 5), ui::clLime);
        c.look("A", "1");
        QCOMPARE(c.cellColour(1, 5), ui::clRed);
    }

    void silentRefusals_data()
    {
        QTest::addColumn<QString>("card");
        QTest::newRow("0") << "0";
        QTest::newRow("2001") << "2001";
        QTest::newRow("abc") << "abc";
        QTest::newRow("empty") << "";
        QTest::newRow("sign only") << "-";
        QTest::newRow("huge") << QString(10000, QLatin1Char('9'));
    }
    void silentRefusals()
    {
        QFETCH(QString, card);
        Check c;
        c.look("A", "2");
        c.look("A", card);
        QCOMPARE(c.ticketLabels().first(), QStringLiteral("Cartão 7")); // unchanged
        QVERIFY(!c.cell(1, 1).isEmpty());
        QVERIFY(c.prompter.shown.isEmpty());
    }

    void enterInTheSeriesBox()
    {
        Check c;
        c.box("EditCSerie")->setFocus();
        c.look("x", "2", "EditCSerie"); // any other character is series A
        QCOMPARE(c.ticketLabels().first(), QStringLiteral("Cartão 7"));
        QCOMPARE(c.cell(1, 1), QStringLiteral("1 "));
        QCOMPARE(c.window->focusWidget(), c.box("EditConf"));
    }

    void cardNotInTheStore()
    {
        Check c;
        c.look("B", "3");
        QCOMPARE(c.prompter.shown.size(), 1);
        QVERIFY(c.prompter.lastText().contains(QStringLiteral("série B")));
        QCOMPARE(c.ticketLabels().first(), QStringLiteral("Cartão 13"));
        for (int r = 1; r <= 18; ++r)
            QCOMPARE(c.row(r).count(QString()), 9);
    }

    // A claim is settled in the draw: what competed when it started, its
    // returned tickets, each ticket's prizes with their balls; after its end
    // until the next draw starts; before any draw, the registry as it stands.
    void claim()
    {
        Check c(sellTwoCards, false);
        const QString notCompeting = QStringLiteral("NÃO VALIDADA — não concorre");
        c.look("A", "3");
        QCOMPARE(c.text(QStringLiteral("LabelValidada")), notCompeting);
        QCOMPARE(c.statusColour(), ui::clRed);
        QCOMPARE(c.text(QStringLiteral("LabelConcorre")), QStringLiteral("Nenhum sorteio ainda: registro atual"));
        c.look("A", "2");
        QCOMPARE(c.text(QStringLiteral("LabelValidada")), QStringLiteral("VALIDADA — concorre"));
        QCOMPARE(c.returnedMarks(), QList<int>{2}); // ticket 8
        QCOMPARE(c.text(QStringLiteral("LabelDevolvido2")), QStringLiteral("DEVOLVIDO"));

        c.click(QStringLiteral("ButtonVCSai"));
        c.click(QStringLiteral("CheckLinha"));
        c.startManual();
        c.prompter.answers = {true};
        c.window->registry().SaiEnter(QStringLiteral("A"), QStringLiteral("3"), c.prompter); // sold during the draw
        for (int ball : {24, 40, 70, 87, 1, 21, 32, 72, 51}) // rows of tickets 1 and 7: a line at the 9th ball
            c.clickBall(ball);
        c.click(QStringLiteral("ButtonConfCart"));
        const QString line = QStringLiteral("LINHA na 9ª pedra (51)");
        c.look("A", "1");
        QCOMPARE(c.prizes(), (QStringList{line, "", "", "", "", ""}));
        QCOMPARE(c.text(QStringLiteral("LabelConcorre")), QStringLiteral("Sorteio em andamento"));
        c.look("A", "2");
        QCOMPARE(c.prizes(), (QStringList{line, "", "", "", "", ""}));
        QCOMPARE(c.returnedMarks(), QList<int>{2});
        c.look("A", "3");
        QCOMPARE(c.text(QStringLiteral("LabelValidada")), notCompeting); // counts from the next draw
        QCOMPARE(c.prizes(), QStringList(6, QString()));

        // Nothing the claim shows covers an item of the card check.
        c.look("A", "1");
        QWidget *conf = c.get(QStringLiteral("PanelConf"));
        QStringList own = {"LabelValidada", "LabelConcorre"};
        for (int i = 1; i <= 6; ++i)
            own << QStringLiteral("LabelDevolvido%1").arg(i) << QStringLiteral("LabelPremios%1").arg(i);
        for (QWidget *item : conf->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (own.contains(item->objectName()) || item->objectName().isEmpty())
                continue;
            for (const QString &name : own) {
                QWidget *added = c.get(name);
                QVERIFY2(!added->isVisible() || !added->geometry().intersects(item->geometry()),
                         qPrintable(name + " covers " + item->objectName()));
                QVERIFY(conf->rect().contains(added->geometry()));
            }
        }

        c.click(QStringLiteral("ButtonVCSai"));
        c.click(QStringLiteral("ButtonFim"));
        c.click(QStringLiteral("ButtonConfCart"));
        c.look("A", "1");
        QCOMPARE(c.prizes().first(), line);
        QCOMPARE(c.text(QStringLiteral("LabelConcorre")), QStringLiteral("Último sorteio (encerrado)"));

        // The next draw: A-3 competes; a ball taken back removes the prize it won.
        c.click(QStringLiteral("ButtonVCSai"));
        c.click(QStringLiteral("CheckLinha"));
        c.startManual();
        for (int ball : {24, 40, 70, 87, 51})
            c.clickBall(ball);
        c.click(QStringLiteral("ButtonConfCart"));
        c.look("A", "1");
        QCOMPARE(c.prizes().first(), QStringLiteral("LINHA na 5ª pedra (51)"));
        c.look("A", "3");
        QCOMPARE(c.text(QStringLiteral("LabelValidada")), QStringLiteral("VALIDADA — concorre"));
        c.click(QStringLiteral("ButtonVCSai"));
        c.clickBall(51);
        c.click(QStringLiteral("ButtonConfCart"));
        c.look("A", "1");
        QCOMPARE(c.prizes(), QStringList(6, QString()));
    }

    // check-card settles a claim in a logged draw as the panel does in the
    // running one: the same status, returned tickets and prizes, and the
    // tickets with the draw's numbers marked.
    void checkCardTool()
    {
        Check c(sellTwoCards, false);
        c.click(QStringLiteral("ButtonVCSai"));
        c.click(QStringLiteral("CheckLinha"));
        c.startManual();
        c.prompter.answers = {true};
        c.window->registry().SaiEnter(QStringLiteral("A"), QStringLiteral("3"), c.prompter); // sold during the draw
        for (int ball : {24, 40, 70, 87, 1, 21, 32, 72, 51})
            c.clickBall(ball);
        c.click(QStringLiteral("ButtonConfCart"));
        QStringList panel;
        for (const char *card : {"1", "2", "3"}) {
            c.look("A", card);
            panel << c.text(QStringLiteral("LabelValidada")) + QLatin1Char('|') + c.prizes().join(QLatin1Char('|'));
        }
        c.click(QStringLiteral("ButtonVCSai"));
        c.click(QStringLiteral("ButtonFim"));
        c.startElectronic(); // the log's last draw, where A-3 competes
        c.drawBall(7);
        c.panel->drainLog();
        const QString dir = c.dir.path();

        QStringList tool;
        for (const char *card : {"1", "2", "3"}) {
            const Run r = runProgram(kCli, {"check-card", "--series", "a", "--card", card, "--draw", "1", "--dir", dir});
            QCOMPARE(r.status, 0);
            QStringList lines = r.out.split(QLatin1Char('\n'));
            QVERIFY2(lines[0].startsWith(QStringLiteral("draw 1, manual, ")) && lines[0].endsWith(QStringLiteral(", 9 balls")),
                     qPrintable(r.out));
            QStringList prizes(6);
            int ticket = -1;
            for (const QString &line : lines) {
                if (line.startsWith(QStringLiteral("Cartão ")))
                    ++ticket;
                else if (line.startsWith(QStringLiteral("  ")) && line.contains(QStringLiteral(" na ")))
                    prizes[ticket] = line.trimmed();
            }
            tool << lines[1].section(QStringLiteral(": "), 1) + QLatin1Char('|') + prizes.join(QLatin1Char('|'));
            if (QLatin1String(card) == QLatin1String("1")) {
                // Ticket 1's first row, 24 40 51 70 87, all drawn; 1 and 21 drawn in its others.
                QCOMPARE(lines[2], QStringLiteral("Cartão 1"));
                QCOMPARE(lines[3].simplified(), QStringLiteral(".. .. [24] .. [40] [51] .. [70] [87]"));
            }
            if (QLatin1String(card) == QLatin1String("2"))
                QVERIFY2(r.out.contains(QStringLiteral("\nCartão 8  DEVOLVIDO\n")), qPrintable(r.out));
        }
        QCOMPARE(tool, panel);
        QVERIFY(tool[2].startsWith(QStringLiteral("NÃO VALIDADA — não concorre|")));

        // Without --draw, the log's last draw: A-3 competes in it.
        const Run last = runProgram(kCli, {"check-card", "--series", "A", "--card", "3", "--dir", dir});
        QCOMPARE(last.status, 0);
        QVERIFY2(last.out.startsWith(QStringLiteral("draw 2, electronic, ")), qPrintable(last.out));
        QVERIFY(last.out.contains(QStringLiteral("card 3 of series A: VALIDADA — concorre\n")));

        // A draw logged before its competing set was kept is settled against
        // today's registry, and the tool says so.
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(QDir(dir).filePath("Sorteios.cds")).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "UPDATE records SET f14 = NULL WHERE f0 = 1 AND f3 = 'inicio'", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        const Run older = runProgram(kCli, {"check-card", "--series", "A", "--card", "3", "--draw", "1", "--dir", dir});
        QCOMPARE(older.status, 0);
        QVERIFY2(older.out.contains(QStringLiteral("draw 1 was logged before the competing set was kept")),
                 qPrintable(older.out));
        QVERIFY(older.out.contains(QStringLiteral("card 3 of series A: VALIDADA — concorre\n")));
    }

    void checkCardArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("no card") << QStringList{"--series", "A"} << 2 << "usage";
        QTest::newRow("no series") << QStringList{"--card", "1"} << 2 << "usage";
        QTest::newRow("series M") << QStringList{"--series", "M", "--card", "1"} << 2 << "not a series letter";
        QTest::newRow("series AB") << QStringList{"--series", "AB", "--card", "1"} << 2 << "not a series letter";
        QTest::newRow("card 0") << QStringList{"--series", "A", "--card", "0"} << 2 << "not a card number";
        QTest::newRow("card 2001") << QStringList{"--series", "A", "--card", "2001"} << 2 << "not a card number";
        QTest::newRow("card abc") << QStringList{"--series", "A", "--card", "abc"} << 2 << "not a card number";
        QTest::newRow("draw 0") << QStringList{"--series", "A", "--card", "1", "--draw", "0"} << 2 << "not a draw number";
        QTest::newRow("draw not logged") << QStringList{"--series", "A", "--card", "1", "--draw", "9"} << 1
                                         << "draw 9 is not in the draw log";
        QTest::newRow("card not in the card file") << QStringList{"--series", "B", "--card", "1"} << 1
                                                   << "not in the card file";
        QTest::newRow("no draw yet") << QStringList{"--series", "A", "--card", "2", "--empty"} << 0 << "";
    }
    void checkCardArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        QTemporaryDir dir;
        sellTwoCards(dir.path());
        const bool empty = args.removeAll(QStringLiteral("--empty")) > 0;
        if (!empty) {
            DrawLogWriter log(dir.path());
            QVERIFY(log.startDraw(DrawMode::Manual));
        }
        const Run r = runProgram(kCli, QStringList{"check-card"} + args + QStringList{"--dir", dir.path()});
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        if (status == 2)
            QVERIFY(r.err.contains(QStringLiteral("usage:")));
        if (empty) // before any draw, the registry as it stands
            QVERIFY2(r.out.startsWith(QStringLiteral("no draw in the draw log")) &&
                         r.out.contains(QStringLiteral("VALIDADA — concorre\nCartão 7\n")) &&
                         r.out.contains(QStringLiteral("\nCartão 8  DEVOLVIDO\n")),
                     qPrintable(r.out));
    }

    void backgroundClickCloses()
    {
        Check c;
        QWidget *conf = c.get(QStringLiteral("PanelConf"));
        QTest::mouseClick(c.get(QStringLiteral("PanelC1")), Qt::LeftButton); // a row is not the background
        QVERIFY(conf->isVisible());
        QTest::mouseClick(conf, Qt::LeftButton, {}, QPoint(200, 300));
        QVERIFY(conf->isHidden());
    }
};

QTEST_MAIN(TestCardCheck)
#include "tst_cardcheck.moc"
