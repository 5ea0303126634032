#include "Desktop.h"
#include "cards/CardStore.h"
#include "dataset/Dataset.h"
#include "game/DrawLog.h"
#include "game/LoggedDraw.h"
#include "report/Fonts.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>
#include <set>

using namespace bolaris;
using namespace bolaris::test;

// One evening of an organiser, end to end, on a real X server with a window
// manager: the real program in a fresh working folder, driven by clicks and
// keys only. Issue series B 1-300 in "3 por folha" and save the PDF; validate
// B 1-250 and return ticket 7; an electronic draw with "linha" until a line is
// won; check a card; export a CSV file; quit with the close box. Then the
// files on disk are read back, and screenshots of each panel are kept.
namespace {

const QString kMainTitle = QStringLiteral("^Bolaris 90/15 $");

// Places on the main window's client area below the menu bar.
struct Panel {
    int left;
    int top;
};
constexpr Panel kIssue{89, 46};
constexpr Panel kValidation{41, 50};
constexpr Panel kDraw{8, 5};
constexpr Panel kExport{29, 121};

// One field of every record of a dataset file, read without changing it.
QStringList records(const QString &path, const QString &field)
{
    QStringList values;
    try {
        Dataset d;
        d.setDirectory(QFileInfo(path).path());
        d.setFileName(QFileInfo(path).fileName());
        d.setReadOnly(true);
        d.open();
        for (d.first(); !d.eof(); d.next())
            values << d.asString(field);
    } catch (const DatasetError &e) {
        qWarning("%s", qPrintable(e.message()));
    }
    return values;
}

} // namespace

class TestEvening : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<Desktop> m_desktop;
    QTemporaryDir m_runtime;
    qulonglong m_main = 0;
    int m_menu = 0; // the menu bar's height

    // A click at x, y of a panel of the main window.
    void click(const Panel &panel, int x, int y) { m_desktop->click(m_main, panel.left + x, m_menu + panel.top + y); }
    void menu(int x) { m_desktop->click(m_main, x, m_menu / 2); }
    void shot(const QString &name) { m_desktop->screenshot(name); }
    // Starts the program in dir and waits for its framed main window.
    void start(QProcess &program, const QString &dir)
    {
        QProcessEnvironment env = m_desktop->environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(dir);
        program.start(QStringLiteral(BOLARIS_APP), {});
        m_main = m_desktop->window(kMainTitle);
        QVERIFY(m_main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->frame(m_main).isNull(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->client(m_main).width(), 810, 5000);
        m_menu = m_desktop->client(m_main).height() - 551;
    }

private Q_SLOTS:
    void initTestCase()
    {
        installFontSubstitutes();
        if (!haveDesktopTools())
            QSKIP("needs Xvfb, openbox, xdotool, wmctrl, xwininfo and xprop (scripts/deps.sh installs them)");
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("needs pdfinfo (poppler-utils, installed by scripts/deps.sh)");
        m_desktop = std::make_unique<Desktop>();
        m_desktop->setArtifacts(QStringLiteral(BOLARIS_ARTIFACTS "/evening"));
        if (!m_desktop->start())
            QSKIP("no X server with a window manager could be started here");
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void oneEvening()
    {
        QTemporaryDir work, out;
        const QString dir = work.path();
        QCOMPARE(QProcess::execute(QStringLiteral(BOLARIS_CLI),
                                   {QStringLiteral("generate-series"), QStringLiteral("--out"),
                                    QDir(dir).filePath(QStringLiteral("compl22.cds"))}),
                 0);

        QProcess program;
        start(program, dir);
        QVERIFY(m_menu > 10);
        shot(QStringLiteral("01-main-window"));

        // Issue series B, cards 1 to 300, "3 por folha", and save the sheets.
        menu(60); // "Emissão de cartelas"
        click(kIssue, 151, 262);
        m_desktop->type(QStringLiteral("B"));
        click(kIssue, 161, 289);
        m_desktop->type(QStringLiteral("1"));
        click(kIssue, 161, 317);
        m_desktop->type(QStringLiteral("300"));
        click(kIssue, 350, 100 + 8); // "3 por folha"
        shot(QStringLiteral("02-issue-panel"));
        click(kIssue, 227, 384); // "Emite"
        const qulonglong preview = m_desktop->window(QStringLiteral("^Visualiza"));
        QVERIFY2(preview, "no preview came");
        QTest::qWait(500);
        shot(QStringLiteral("03-preview"));
        const QString pdf = QDir(out.path()).filePath(QStringLiteral("cartelas-B.pdf"));
        m_desktop->key(QStringLiteral("ctrl+s"));
        QVERIFY(m_desktop->window(QStringLiteral("^Salvar$")));
        QTest::qWait(300);
        m_desktop->key(QStringLiteral("ctrl+a"));
        m_desktop->type(pdf);
        m_desktop->key(QStringLiteral("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(pdf), 30000);
        QTest::qWait(500);
        m_desktop->close(preview);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->window(QStringLiteral("^Visualiza"), 100), 0ULL, 10000);
        click(kIssue, 423, 384); // "Sai"

        // Validate B 1-250, and ticket 7 came back.
        menu(178); // "Validação das cartelas"
        click(kValidation, 173, 159);
        m_desktop->type(QStringLiteral("B"));
        click(kValidation, 220, 192);
        m_desktop->type(QStringLiteral("1-250"));
        m_desktop->key(QStringLiteral("Return"));
        click(kValidation, 571, 364);
        m_desktop->type(QStringLiteral("7"));
        m_desktop->key(QStringLiteral("Return"));
        QTest::qWait(300);
        shot(QStringLiteral("04-validation-panel"));
        click(kValidation, 262, 370); // "Sai"

        // An electronic draw with "linha" ticked, ball by ball, until a line is won.
        menu(370); // "Sorteio"
        click(kDraw, 416 + 6, 490 + 8); // "linha"
        click(kDraw, 680 + 7 + 48, 6 + 73 + 13); // "Sorteio eletrônico"
        std::optional<LoggedDraw> log;
        // The first line announced: "LINHA card N series S ticket T".
        const QRegularExpression line(QStringLiteral("^LINHA card (\\d+) series (.) ticket (\\d+)$"));
        TicketRef winner;
        std::set<int> drawn;
        const auto lineWon = [&] {
            drawn.clear();
            for (const LoggedDraw::Ball &b : log ? log->balls : std::vector<LoggedDraw::Ball>{}) {
                drawn.insert(b.ball);
                for (const QString &w : b.announced().winners)
                    if (const QRegularExpressionMatch m = line.match(w); m.hasMatch()) {
                        winner = {m.captured(1).toInt(), m.captured(2).at(0), m.captured(3).toInt()};
                        return true;
                    }
            }
            return false;
        };
        for (int press = 0; press < 90 && !lineWon(); ++press) {
            click(kDraw, 679 + 48, 16 + 12); // "Sortear pedra"
            QTest::qWait(100);
            log = LoggedDraw::read(dir, 1);
        }
        QVERIFY2(lineWon(), "no line was won in 90 balls");
        QTest::qWait(300);
        shot(QStringLiteral("05-draw-panel-line-won"));

        // The announced line is complete among the balls drawn.
        QCOMPARE(winner.series, QChar(u'B'));
        QVERIFY(winner.card >= 1 && winner.card <= 250);
        QVERIFY(winner.ticket != 7);
        CardStore store;
        QVERIFY(store.FillCardStore(dir).error.isEmpty());
        const std::array<int, 15> numbers = TicketNumbers(store.card('B', winner.card), TicketPosition(winner.ticket));
        bool complete = false;
        for (int row = 0; row < 3; ++row) {
            int found = 0;
            for (int p = 0; p < 5; ++p)
                found += drawn.count(numbers[size_t(5 * row + p)]) ? 1 : 0;
            complete = complete || found == 5;
        }
        QVERIFY2(complete, "the announced line is not complete among the balls drawn");

        // A player's claim checked on the card check panel.
        click(kDraw, 674 + 48, 499 + 12); // "Verificar cartela"
        click(kDraw, 21 + 14, 47 + 16);
        m_desktop->key(QStringLiteral("ctrl+a"));
        m_desktop->type(QStringLiteral("B"));
        click(kDraw, 21 + 44, 103 + 16);
        m_desktop->type(QString::number(winner.card));
        m_desktop->key(QStringLiteral("Return"));
        QTest::qWait(300);
        shot(QStringLiteral("06-card-check"));
        click(kDraw, 648 + 60, 480 + 12); // "Sai da conferência"
        click(kDraw, 682 + 48, 128 + 12); // "Sair"
        QTest::qWait(500);
        shot(QStringLiteral("07a-end-the-draw"));
        m_desktop->key(QStringLiteral("alt+s")); // "Sim": the draw ends
        QTest::qWait(500);

        // Export cards 1 to 10 of series B for mail merge.
        menu(293); // "Opções da cartela"
        QTest::qWait(300);
        m_desktop->key(QStringLiteral("Down"));
        m_desktop->key(QStringLiteral("Down"));
        m_desktop->key(QStringLiteral("Return")); // "Gerar arquivo .CSV para Excell/Corel/Word"
        QTest::qWait(300);
        m_desktop->type(QStringLiteral("B")); // the focus is in the series box
        click(kExport, 248, 198);
        m_desktop->type(QStringLiteral("1"));
        click(kExport, 248, 226);
        m_desktop->type(QStringLiteral("10"));
        shot(QStringLiteral("07b-export-panel"));
        click(kExport, 133, 315); // "Gera"
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QDir(dir).filePath(QStringLiteral("CARTGRAF.CSV"))), 10000);
        QTest::qWait(300);
        shot(QStringLiteral("08-after-export"));

        // Quit with the close box.
        m_desktop->close(m_main);
        QVERIFY2(program.waitForFinished(20000), "the program is still running after its window was closed");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        // What the evening left on disk.
        const QStringList sold = records(QDir(dir).filePath(QStringLiteral("Validadas.cds")), QStringLiteral("Numero"));
        QCOMPARE(sold.size(), 250);
        QCOMPARE(sold.first(), QStringLiteral("1"));
        QCOMPARE(sold.last(), QStringLiteral("250"));
        const QStringList series = records(QDir(dir).filePath(QStringLiteral("Validadas.cds")), QStringLiteral("Serie"));
        QCOMPARE(QSet<QString>(series.begin(), series.end()), QSet<QString>{QStringLiteral("B")});
        QCOMPARE(records(QDir(dir).filePath(QStringLiteral("Cartoes.cds")), QStringLiteral("Cartao")),
                 QStringList{QStringLiteral("7")});
        QCOMPARE(records(QDir(dir).filePath(QStringLiteral("Cartoes.cds")), QStringLiteral("Cartela")),
                 QStringList{QStringLiteral("2")});
        const QStringList issued = records(QDir(dir).filePath(QStringLiteral("cartelas.cds")), QStringLiteral("Numero"));
        QCOMPARE(issued.size(), 300);
        QCOMPARE(issued.first(), QStringLiteral("1"));
        QCOMPARE(issued.last(), QStringLiteral("300"));
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY(info.waitForFinished(10000));
        QVERIFY2(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression(QStringLiteral("Pages:\\s+100\\b"))),
                 "the PDF does not hold the 100 sheets of 300 cards, 3 a sheet");
        // The first printed sheet, as a picture beside the screenshots.
        QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                                                       QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                       QStringLiteral("1"), QStringLiteral("-singlefile"), pdf,
                                                       QStringLiteral(BOLARIS_ARTIFACTS "/evening/09-printed-sheet")});
        QFile csv(QDir(dir).filePath(QStringLiteral("CARTGRAF.CSV")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QVERIFY(lines.size() > 2);
        QVERIFY(lines[1].startsWith("0001;B;"));
        QCOMPARE(DrawLog::read(dir).back().kind, QStringLiteral("fim")); // "Sair" ended the draw
    }

    // A draw cut short by kill -9 is offered back at the next start, goes on
    // where it stopped and replays as matching; its minutes come from the
    // prizes window's button.
    void drawResumedAfterAKill()
    {
        QTemporaryDir work;
        const QString dir = work.path();
        QCOMPARE(QProcess::execute(QStringLiteral(BOLARIS_CLI), {QStringLiteral("validate"), QStringLiteral("--series"),
                                                               QStringLiteral("A"), QStringLiteral("--cards"),
                                                               QStringLiteral("1-2000"), QStringLiteral("--yes"),
                                                               QStringLiteral("--dir"), dir}),
                 0);
        QProcess program;
        const auto balls = [&dir] {
            const std::optional<LoggedDraw> draw = LoggedDraw::read(dir, 1);
            return draw ? int(draw->balls.size()) : 0;
        };
        const auto drawBalls = [&](int count) {
            for (int i = 0; i < count; ++i) {
                m_desktop->key(QStringLiteral("space")); // "Sortear pedra" has the keyboard
                QTest::qWait(250);
            }
        };
        start(program, dir);
        menu(370); // "Sorteio"
        click(kDraw, 416 + 6, 490 + 8); // "linha"
        click(kDraw, 680 + 7 + 48, 6 + 73 + 13); // "Sorteio eletrônico"
        drawBalls(12);
        QTRY_COMPARE_WITH_TIMEOUT(balls(), 12, 10000);
        shot(QStringLiteral("10-before-the-kill"));
        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished(10000));

        start(program, dir);
        menu(370); // "Sorteio": the draw is offered back
        QVERIFY(m_desktop->window(QStringLiteral("^Sorteio$")));
        QTest::qWait(300);
        shot(QStringLiteral("11-resume-question"));
        m_desktop->key(QStringLiteral("Return")); // "Sim" is the default
        QTest::qWait(500);
        shot(QStringLiteral("12-draw-resumed"));
        drawBalls(5);
        QTRY_COMPARE_WITH_TIMEOUT(balls(), 17, 10000);
        click(kDraw, 681 + 48, 98 + 12); // "Encerra o sorteio"
        QTest::qWait(800);
        shot(QStringLiteral("13-end-the-draw"));
        m_desktop->key(QStringLiteral("alt+s"));
        QTRY_VERIFY_WITH_TIMEOUT(!LoggedDraw::read(dir, 1)->end.isEmpty(), 10000);

        // The minutes, from the button of the prizes window.
        const qulonglong prizes = m_desktop->window(QStringLiteral("^Prêmios do sorteio$"));
        QVERIFY(prizes);
        const QRect area = m_desktop->client(prizes);
        m_desktop->click(prizes, area.width() - 50, area.height() - 16); // "Ata do sorteio…"
        QVERIFY(m_desktop->window(QStringLiteral("^Ata do sorteio$")));
        QTest::qWait(300);
        shot(QStringLiteral("14-ata-dialog"));
        m_desktop->key(QStringLiteral("Return")); // "Visualizar"
        const qulonglong ata = m_desktop->window(QStringLiteral("^Ata do sorteio nº 1$"));
        QVERIFY2(ata, "no preview of the minutes came");
        QTest::qWait(800);
        shot(QStringLiteral("15-ata-preview"));
        m_desktop->close(ata);
        QTest::qWait(300);
        m_desktop->key(QStringLiteral("Escape"));
        QTest::qWait(300);
        m_desktop->close(m_main);
        QVERIFY(program.waitForFinished(20000));

        QProcess replay;
        replay.start(QStringLiteral(BOLARIS_CLI), {QStringLiteral("replay"), QStringLiteral("--draw"), QStringLiteral("1"),
                                                   QStringLiteral("--dir"), dir});
        QVERIFY(replay.waitForFinished(30000));
        QCOMPARE(replay.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(replay.readAllStandardOutput()),
                 QStringLiteral("draw 1: every announcement of its 17 ball events matches the log\n"));
        QCOMPARE(QProcess::execute(QStringLiteral(BOLARIS_CLI),
                                   {QStringLiteral("draw-log"), QStringLiteral("--verify"), QStringLiteral("--dir"), dir}),
                 0);
        QCOMPARE(LoggedDraw::read(dir, 1)->resumed.size(), 1);
    }
};

QTEST_MAIN(TestEvening)
#include "tst_evening.moc"
