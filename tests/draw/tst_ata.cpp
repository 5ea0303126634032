#include "DrawFixture.h"
#include "TestSupport.h"
#include "cards/CardStore.h"
#include "cards/SeriesA.h"
#include "draw/AtaDialog.h"
#include "game/DrawLog.h"
#include "game/GameStep.h"
#include "game/LoggedDraw.h"
#include "report/Fonts.h"
#include "report/PreviewWindow.h"
#include "validation/ValidationRegistry.h"

#include <QDateEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>

#include <sqlite3.h>

using namespace bolaris;
using namespace bolaris::test;

namespace {

const QString kCli = QStringLiteral(BOLARIS_CLI);

// The balls of a manual draw on card A-1: lines of tickets 1 and 7 at the
// 9th ball, a ball taken back, then the rest of ticket 1 (a full ticket).
QList<int> drawOnCardA1()
{
    QList<int> balls = {24, 40, 70, 87, 1, 21, 32, 72, 51, 5, 5};
    for (int n : TicketNumbers(SeriesACard(1), 1))
        if (!balls.contains(n))
            balls << n;
    return balls;
}

// The text of a PDF, laid out as on the page.
QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The words of a text, blanks of any length between them.
QStringList words(const QString &text) { return text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts); }

// What the log says of a draw, as the ata must say it: the ball events in
// order ("1ª 24", "(5)" for a ball taken back) and each prize with its ball
// and winners, when it was first announced.
struct Expected {
    QStringList balls;
    QStringList prizes; // "LINHA na 9ª pedra (51): A 1 1" per winner
};
Expected fromLog(const LoggedDraw &draw)
{
    static const QRegularExpression winner(QStringLiteral("^(.+) card (\\d+) series (.) ticket (\\d+)$"));
    static const QHash<QString, QString> names = {{"CANTOS", "QUATRO CANTOS"}, {"LINHA", "LINHA"},
                                                  {"2 LINHAS", "2 LINHAS"}, {"CARTAO", "CARTELA CHEIA"}};
    Expected e;
    QSet<QString> announced;
    int order = 0;
    for (const LoggedDraw::Ball &b : draw.balls) {
        order += b.drawn ? 1 : -1;
        e.balls << (b.drawn ? QStringLiteral("%1ª %2").arg(order).arg(b.ball) : QStringLiteral("(%1)").arg(b.ball));
        for (const QString &w : b.announced().winners) {
            if (announced.contains(w))
                continue;
            announced.insert(w);
            const QRegularExpressionMatch m = winner.match(w);
            e.prizes << QStringLiteral("%1 na %2ª pedra (%3): %4 %5 %6")
                            .arg(names.value(m.captured(1)))
                            .arg(order)
                            .arg(b.ball)
                            .arg(m.captured(3), m.captured(2), m.captured(4));
        }
    }
    return e;
}

// The same read from the ata's text: the ball cells after "Pedras sorteadas",
// and the winners under each prize's line.
Expected fromAta(const QString &text)
{
    static const QRegularExpression prizeLine(QStringLiteral("^(.+ na \\d+ª pedra \\(\\d+\\)): \\d+ ganhador"));
    static const QRegularExpression ballCell(QStringLiteral("(\\d+ª)\\s+(\\d+)|(\\(\\d+\\))"));
    static const QRegularExpression winners(QStringLiteral("^\\s*([A-L])\\s+(\\d+)\\s+(\\d+)"));
    Expected e;
    enum { Before, Balls, Prizes } part = Before;
    QString prize;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString plain = line.trimmed();
        if (plain.startsWith(QStringLiteral("Pedras sorteadas:"))) {
            part = Balls;
        } else if (plain == QStringLiteral("Prêmios")) {
            part = Prizes;
        } else if (part == Balls && !plain.isEmpty() && !plain.startsWith(QStringLiteral("Entre"))) {
            for (auto it = ballCell.globalMatch(plain); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                e.balls << (m.captured(3).isEmpty() ? m.captured(1) + QLatin1Char(' ') + m.captured(2) : m.captured(3));
            }
        } else if (part == Prizes) {
            if (const QRegularExpressionMatch m = prizeLine.match(plain); m.hasMatch()) {
                prize = m.captured(1);
            } else if (winners.match(line).hasMatch()) {
                QStringList cells = words(plain);
                for (qsizetype i = 0; i + 2 < cells.size(); i += 3)
                    e.prizes << prize + QStringLiteral(": %1 %2 %3").arg(cells[i], cells[i + 1], cells[i + 2]);
            } else if (plain.startsWith(QStringLiteral("Local:")) || plain.startsWith(QStringLiteral("Sorteio nº"))) {
                part = Before;
            }
        }
    }
    return e;
}

// A real draw played on the Draw panel, then a second one, with the log on disk.
struct TwoDraws : DrawFixture {
    TwoDraws() : DrawFixture(sellTwoCards)
    {
        enter();
        click(QStringLiteral("CheckLinha"));
        startManual();
        for (int ball : drawOnCardA1())
            clickBall(ball);
        click(QStringLiteral("ButtonFim"));
        startElectronic();
        drawBall(90);
        click(QStringLiteral("ButtonFim"));
        panel->drainLog();
    }
};

} // namespace

class TestAta : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    // The ata of a real draw, read back from its PDF, says what the log says:
    // its number, its balls in order, each prize with its ball and winners,
    // its seal.
    void agreesWithTheLog()
    {
        TwoDraws g;
        const QString dir = g.dir.path();
        const QString pdf = QDir(dir).filePath(QStringLiteral("ata.pdf"));
        const Run run = runProgram(kCli, {"ata", "--draw", "1", "--out", pdf, "--dir", dir});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QString text = pdfText(pdf);
        const std::optional<LoggedDraw> logged = LoggedDraw::read(dir, 1);
        QVERIFY(logged && !logged->seal.isEmpty());

        QVERIFY2(text.contains(QStringLiteral("ATA DO SORTEIO Nº 1")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Sorteio nº 1")));
        QVERIFY(!text.contains(QStringLiteral("Sorteio nº 2")));
        QVERIFY(text.contains(QStringLiteral("Modo: sorteio manual.")));
        QVERIFY(text.contains(QStringLiteral("Selo do registro: ") + DrawLogWriter::sealText(logged->seal)));
        QVERIFY(text.contains(QStringLiteral("Série A: 2 cartelas (1–2).")));
        QVERIFY(text.contains(QStringLiteral("Total: 2 cartelas, 12 cartões; 1 cartão devolvido; 11 cartões concorrendo.")));
        QVERIFY(text.contains(QStringLiteral("Cartões devolvidos: série A: 8.")));
        QVERIFY(text.contains(QStringLiteral("exatamente o que o registro guarda")));
        QVERIFY(text.contains(QStringLiteral("Os selos do registro de sorteios conferem")));
        for (const char *signature : {"Organizador", "1ª testemunha", "2ª testemunha"})
            QVERIFY(text.contains(QString::fromUtf8(signature)));
        QVERIFY(text.contains(QStringLiteral("Folha 1 de 1")));

        const Expected log = fromLog(*logged);
        const Expected ata = fromAta(text);
        QCOMPARE(ata.balls, log.balls);
        QCOMPARE(ata.balls.mid(8, 3), (QStringList{"9ª 51", "10ª 5", "(5)"}));
        QCOMPARE(ata.prizes, log.prizes);
        QCOMPARE(ata.prizes.mid(0, 2),
                 (QStringList{"LINHA na 9ª pedra (51): A 1 1", "LINHA na 9ª pedra (51): A 2 7"}));
        QVERIFY(ata.prizes.last().startsWith(QStringLiteral("CARTELA CHEIA na ")));

        // The day's ata holds both draws; a changed log is said in the ata.
        const QString day = logged->start.left(10);
        const QString dayPdf = QDir(dir).filePath(QStringLiteral("dia.pdf"));
        QCOMPARE(runProgram(kCli, {"ata", "--date", day, "--out", dayPdf, "--dir", dir}).status, 0);
        const QString dayText = pdfText(dayPdf);
        QVERIFY(dayText.contains(QStringLiteral("Sorteio nº 1")) && dayText.contains(QStringLiteral("Sorteio nº 2")));
        QVERIFY(dayText.contains(QStringLiteral("Modo: sorteio eletrônico.")));

        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(QDir(dir).filePath("Sorteios.cds")).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "UPDATE records SET f5 = 2 WHERE f0 = 1 AND f5 = 1 AND f3 = 'pedra'", nullptr,
                              nullptr, nullptr),
                 SQLITE_OK);
        // ... and a draw logged before its competing set was kept is checked against today's registry.
        QCOMPARE(sqlite3_exec(db, "UPDATE records SET f14 = NULL WHERE f0 = 1 AND f3 = 'inicio'", nullptr, nullptr,
                              nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        QCOMPARE(runProgram(kCli, {"ata", "--draw", "1", "--out", pdf, "--dir", dir}).status, 0);
        const QString changed = pdfText(pdf).simplified();
        const Run verify = runProgram(kCli, {"draw-log", "--verify", "--dir", dir});
        const QString event = QRegularExpression(QStringLiteral("draw 1, event (\\d+) was changed")).match(verify.out).captured(1);
        QVERIFY2(!event.isEmpty(), qPrintable(verify.out));
        QVERIFY2(changed.contains(QStringLiteral("ATENÇÃO: o registro de sorteios foi mudado depois de gravado: o "
                                                 "evento %1 do sorteio nº 1 foi alterado.")
                                      .arg(event)),
                 qPrintable(changed));
        QVERIFY(changed.contains(QStringLiteral("a conferência não repete o que o sorteio anunciou")));
        QVERIFY(changed.contains(QStringLiteral("não guarda as cartelas que concorreram (versão anterior do "
                                                "programa): a conferência usou o registro de validação atual.")));
    }

    // A draw whose winners fill pages: none is lost or repeated at a page's
    // end, and each page says it goes on.
    void manyPages()
    {
        QTemporaryDir dir;
        {
            ScriptedPrompter yes;
            ValidationRegistry registry(dir.path());
            registry.lock();
            registry.open();
            yes.answers = {true};
            registry.SaiEnter(QStringLiteral("A"), QStringLiteral("1-300"), yes);
            CardStore store;
            store.FillCardStore(dir.path());
            GameStep game(store.table());
            game.newDraw(CompetingSet::fromRegistry(registry.TableVali(), registry.TableValiC()));
            DrawLogWriter log(dir.path());
            DrawState draw;
            draw.start(DrawMode::Manual);
            QVERIFY(log.startDraw(DrawMode::Manual, game.competing()));
            for (int ball = 1; ball <= DrawState::kBalls; ++ball) {
                log.ball(*draw.clickManual(ball), game.switches());
                log.scan(game.step(draw).report);
            }
            QVERIFY(log.endDraw());
            registry.close();
        }
        const QString pdf = QDir(dir.path()).filePath(QStringLiteral("ata.pdf"));
        QCOMPARE(runProgram(kCli, {"ata", "--draw", "1", "--out", pdf, "--dir", dir.path()}).status, 0);
        const QString text = pdfText(pdf);
        const Expected ata = fromAta(text);
        QCOMPARE(ata.prizes, fromLog(*LoggedDraw::read(dir.path(), 1)).prizes);
        QCOMPARE(ata.prizes.size(), 1800);
        const int pages = int(text.count(QLatin1Char('\f')));
        QVERIFY2(pages >= 8 && text.contains(QStringLiteral("Folha %1 de %1").arg(pages)), qPrintable(text.left(200)));
        QVERIFY(text.contains(QStringLiteral("(continuação)")));
    }

    void arguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("neither draw nor date") << QStringList{"--out", "a.pdf"} << 2 << "usage";
        QTest::newRow("draw and date") << QStringList{"--draw", "1", "--date", "2026-12-11", "--out", "a.pdf"} << 2
                                       << "usage";
        QTest::newRow("no output") << QStringList{"--draw", "1"} << 2 << "usage";
        QTest::newRow("draw 0") << QStringList{"--draw", "0", "--out", "a.pdf"} << 2 << "not a draw number";
        QTest::newRow("bad date") << QStringList{"--date", "2026-02-30", "--out", "a.pdf"} << 2 << "not a date";
        QTest::newRow("date in other form") << QStringList{"--date", "11/12/2026", "--out", "a.pdf"} << 2
                                            << "not a date";
        QTest::newRow("repeated option") << QStringList{"--draw", "1", "--draw", "2", "--out", "a.pdf"} << 2
                                         << "more than once";
        QTest::newRow("over the log") << QStringList{"--draw", "1", "--out", "SORTEIOS.cds"} << 1
                                      << "one of the program's data files";
        QTest::newRow("over the registry") << QStringList{"--draw", "1", "--out", "Validadas.cds"} << 1
                                           << "one of the program's data files";
        QTest::newRow("into a folder") << QStringList{"--draw", "1", "--out", "."} << 1 << "it is a folder";
        QTest::newRow("draw not logged") << QStringList{"--draw", "9", "--out", "a.pdf"} << 1 << "draw 9 is not";
        QTest::newRow("day without draws") << QStringList{"--date", "2001-01-01", "--out", "a.pdf"} << 1
                                           << "no draw";
    }
    void arguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        QTemporaryDir dir;
        sellTwoCards(dir.path());
        {
            DrawLogWriter log(dir.path());
            QVERIFY(log.startDraw(DrawMode::Manual));
            QVERIFY(log.endDraw());
        }
        const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(kCli, QStringList{"ata"} + args);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), status);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(says), qPrintable(err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before); // nothing written
    }

    // The dialog: the log's last draw at first, the preview of its ata with
    // every page, a day without draws refused with a message.
    void dialog()
    {
        TwoDraws g;
        AtaDialog dialog(g.window.get(), g.dir.path(), g.window->cardStore().table(), g.window->registry(), g.prompter);
        QCOMPARE(dialog.findChild<QSpinBox *>(QStringLiteral("SpinSorteio"))->value(), 2);
        QVERIFY(dialog.findChild<QRadioButton *>(QStringLiteral("RadioSorteio"))->isChecked());
        QCOMPARE(dialog.findChild<QDateEdit *>(QStringLiteral("DateDia"))->date(), QDate::currentDate());

        dialog.findChild<QSpinBox *>(QStringLiteral("SpinSorteio"))->setValue(1);
        QVERIFY(dialog.ButtonVisualizarClick());
        PreviewWindow *preview = dialog.preview();
        QVERIFY(preview && preview->isVisible());
        QCOMPARE(preview->parentWidget(), &dialog);
        QCOMPARE(preview->pageCount(), 1);
        const QString pdf = QDir(g.dir.path()).filePath(QStringLiteral("ata.pdf"));
        QVERIFY(preview->saveTo(pdf));
        QVERIFY(pdfText(pdf).contains(QStringLiteral("Sorteio nº 1")));
        QVERIFY(!preview->saveTo(QDir(g.dir.path()).filePath(QStringLiteral("sorteios.cds"))));

        dialog.findChild<QDateEdit *>(QStringLiteral("DateDia"))->setDate(QDate(2001, 1, 1));
        QVERIFY(dialog.findChild<QRadioButton *>(QStringLiteral("RadioDia"))->isChecked());
        QVERIFY(!dialog.ButtonVisualizarClick());
        QCOMPARE(g.prompter.lastText(), QStringLiteral("Nenhum sorteio começou em 01/01/2001."));
    }
};

QTEST_MAIN(TestAta)
#include "tst_ata.moc"
