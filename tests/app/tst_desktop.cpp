#include "Desktop.h"
#include "dataset/Dataset.h"
#include "game/DrawLog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kMainTitle = QStringLiteral("^Bolaris 90/15 $");
const QString kPreviewTitle = QStringLiteral("^Visualiza");

} // namespace

using bolaris::test::Desktop;
using bolaris::test::haveDesktopTools;

// The real program on a real X server with a window manager: its windows'
// places, and closing it in the middle of a save.
class TestDesktop : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<Desktop> m_desktop;
    QTemporaryDir m_runtime;

    std::unique_ptr<QProcess> startProgram(const QString &workDir) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = m_desktop->environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(workDir);
        p->start(QStringLiteral(BOLARIS_APP), {});
        return p;
    }

    // The main window of the program just started, once the window manager
    // has framed it; 0 when none came.
    qulonglong framedMainWindow() {
        const qulonglong main = m_desktop->window(kMainTitle);
        QElapsedTimer framing;
        framing.start();
        while (main && m_desktop->frame(main).isNull() && framing.elapsed() < 10000)
            QTest::qWait(100);
        return main;
    }

    // Issues cards from the Issue panel of the main window: series, range and
    // the print model's place in the panel, then "Emite".
    void issue(qulonglong main, const QString &first, const QString &last, int modelTop) {
        const QRect client = m_desktop->client(main);
        const int menu = client.height() - 551; // the menu bar above the 810 x 551 client area
        const QPoint panel(89, 46 + menu);
        m_desktop->click(main, 40, menu / 2);                     // "Emissão de cartelas"
        m_desktop->click(main, panel.x() + 151, panel.y() + 262); // series box
        m_desktop->type(QStringLiteral("A"));
        m_desktop->click(main, panel.x() + 161, panel.y() + 289); // first card
        m_desktop->type(first);
        m_desktop->click(main, panel.x() + 161, panel.y() + 317); // last card
        m_desktop->type(last);
        m_desktop->click(main, panel.x() + 350, panel.y() + modelTop + 8);
        m_desktop->click(main, panel.x() + 227, panel.y() + 384); // "Emite"
    }

    // A card entry in the Validation panel, from the main menu; menu is the
    // height of the menu bar.
    void validate(qulonglong main, int menu, const QString &series, const QString &cards) {
        m_desktop->click(main, 160, menu / 2);   // "Validação das cartelas"
        m_desktop->click(main, 214, menu + 209); // series box
        m_desktop->type(series);
        m_desktop->click(main, 260, menu + 242); // card box
        m_desktop->type(cards);
        m_desktop->key(QStringLiteral("Return"));
    }

  private Q_SLOTS:
    void initTestCase() {
        if (!haveDesktopTools())
            QSKIP("needs Xvfb, openbox, xdotool, wmctrl, xwininfo and xprop (scripts/deps.sh installs them)");
        m_desktop = std::make_unique<Desktop>();
        m_desktop->setArtifacts(QStringLiteral(BOLARIS_ARTIFACTS "/desktop"));
        if (!m_desktop->start())
            QSKIP("no X server with a window manager could be started here");
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The main window and the preview have their title bars on the screen:
    // their frames, not their client areas, are at the top-left corner.
    void windowsAtTheTopLeftCorner() {
        QTemporaryDir work;
        auto program = startProgram(work.path());
        const qulonglong main = m_desktop->window(kMainTitle);
        QVERIFY(main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->frame(main).isNull(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->frameCorner(main), QPoint(0, 0), 5000);
        QCOMPARE(m_desktop->client(main).width(), 810);
        QVERIFY(m_desktop->frame(main).top() > 0); // a title bar above the client area

        issue(main, QStringLiteral("1"), QStringLiteral("3"), 299); // "1/3 por folha com grade"
        const qulonglong preview = m_desktop->window(kPreviewTitle);
        QVERIFY(preview);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->frameCorner(preview), QPoint(0, 0), 5000);
        m_desktop->screenshot(QStringLiteral("preview"));

        m_desktop->close(main);
        QVERIFY(program->waitForFinished(15000));
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    }

    // Closing the main window while the preview saves a PDF stops the save
    // (no file is left), closes the preview and ends the program, whose next
    // start then runs.
    void closingDuringASaveEndsTheProgram() {
        QTemporaryDir work, out;
        auto program = startProgram(work.path());
        const qulonglong main = m_desktop->window(kMainTitle);
        QVERIFY(main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->frame(main).isNull(), 10000);
        issue(main, QStringLiteral("1"), QStringLiteral("2000"), 299); // 6,000 pages
        const qulonglong preview = m_desktop->window(kPreviewTitle);
        QVERIFY(preview);
        QTest::qWait(500);
        m_desktop->key(QStringLiteral("ctrl+s")); // "Salvar"
        QVERIFY(m_desktop->window(QStringLiteral("^Salvar$")));
        QTest::qWait(300);
        m_desktop->key(QStringLiteral("ctrl+a"));
        m_desktop->type(QDir(out.path()).filePath(QStringLiteral("cartelas.pdf")));
        m_desktop->screenshot(QStringLiteral("save-dialog"));
        m_desktop->key(QStringLiteral("Return"));
        // The save writes beside the file until it is complete.
        QTRY_VERIFY_WITH_TIMEOUT(
            !QDir(out.path())
                 .entryList({QStringLiteral(".cartelas.pdf*")}, QDir::Files | QDir::Hidden)
                 .isEmpty(),
            5000);
        m_desktop->screenshot(QStringLiteral("saving"));
        m_desktop->close(main);
        QVERIFY2(program->waitForFinished(20000), "the program is still running after its window was closed");
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(m_desktop->window(kPreviewTitle, 500), 0ULL);

        auto next = startProgram(work.path());
        const qulonglong again = m_desktop->window(kMainTitle);
        QVERIFY2(again, "the next start showed no window");
        m_desktop->screenshot(QStringLiteral("next-start"));
        m_desktop->close(again);
        QVERIFY(next->waitForFinished(15000));
        QCOMPARE(next->exitCode(), 0);
    }

    // The close box ends the program also while a message box is open.
    void closingWithAMessageBoxOpen() {
        QTemporaryDir work;
        auto program = startProgram(work.path());
        const qulonglong main = m_desktop->window(kMainTitle);
        QVERIFY(main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->frame(main).isNull(), 10000);
        const int menu = m_desktop->client(main).height() - 551;
        validate(main, menu, QStringLiteral("Z"), QStringLiteral("7"));
        QVERIFY(m_desktop->window(QStringLiteral("^Número da série a emitir$")));
        m_desktop->screenshot(QStringLiteral("message-box-open"));
        m_desktop->close(main);
        QVERIFY2(program->waitForFinished(15000), "the close box did nothing while the message box was open");
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);
    }

    // Space held on "Sortear pedra" for a second and a half (the X server
    // repeats it as release and press pairs) draws one ball; two separate
    // presses draw two.
    void heldKeyDrawsOneBall() {
        QTemporaryDir work;
        const auto balls = [&] {
            int count = 0;
            for (const bolaris::DrawLog::Entry &e : bolaris::DrawLog::read(work.path()))
                count += e.kind == QLatin1String("pedra");
            return count;
        };
        auto program = startProgram(work.path());
        const qulonglong main = framedMainWindow();
        QVERIFY(main);
        const int menu = m_desktop->client(main).height() - 551;
        m_desktop->click(main, 368, menu / 2);         // "Sorteio"
        m_desktop->click(main, 8 + 735, menu + 5 + 92); // "Sorteio eletrônico": "Sortear pedra" has the keyboard
        QTest::qWait(300);
        m_desktop->run(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QStringLiteral("space")});
        QTest::qWait(1500);
        m_desktop->run(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QStringLiteral("space")});
        QTest::qWait(1000);
        m_desktop->screenshot(QStringLiteral("held-space-one-ball"));
        QCOMPARE(balls(), 1);
        m_desktop->key(QStringLiteral("space"));
        QTest::qWait(300);
        m_desktop->key(QStringLiteral("space"));
        QTRY_COMPARE_WITH_TIMEOUT(balls(), 3, 10000);
        m_desktop->close(main);
        QVERIFY(program->waitForFinished(15000));
    }

    // A second start ends at once, and the first one's window, minimised,
    // comes back to the front with the keyboard.
    void secondStartShowsTheFirst() {
        QTemporaryDir work;
        auto program = startProgram(work.path());
        const qulonglong main = framedMainWindow();
        QVERIFY(main);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->client(main).width(), 810, 5000);
        QTest::qWait(500);
        const auto state = [&] {
            return m_desktop->run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(main),
                                                            QStringLiteral("WM_STATE")});
        };
        m_desktop->run(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), QString::number(main)});
        QTRY_VERIFY_WITH_TIMEOUT(state().contains(QLatin1String("Iconic")), 5000);
        m_desktop->screenshot(QStringLiteral("second-start-1-minimised"));

        auto second = startProgram(work.path());
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(state().contains(QLatin1String("Normal")), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->active(), main, 5000);
        QTest::qWait(300);
        m_desktop->screenshot(QStringLiteral("second-start-2-shown"));
        QCOMPARE(program->state(), QProcess::Running);
        m_desktop->close(main);
        QVERIFY(program->waitForFinished(15000));
    }

    // On one small screen (1024 x 768) the players' display stands in front
    // of the main window, also after a click on it, beside the operator's
    // controls and, in a manual draw, clear of the board; the keyboard stays
    // with the operator.
    void playersDisplayOnOneSmallScreen() {
        Desktop small;
        small.setArtifacts(QStringLiteral(BOLARIS_ARTIFACTS "/desktop"));
        if (!small.start(QStringLiteral("1024x768x24")))
            QSKIP("no second X server could be started here");
        QTemporaryDir work;
        QProcess program;
        QProcessEnvironment env = small.environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path() + QStringLiteral("/small"));
        QDir().mkpath(m_runtime.path() + QStringLiteral("/small"));
        QFile::setPermissions(m_runtime.path() + QStringLiteral("/small"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QTcpServer probe; // a free port for the phones' page
        QVERIFY(probe.listen(QHostAddress::Any, 0));
        env.insert(QStringLiteral("BOLARIS_WEB_PORT"), QString::number(probe.serverPort()));
        probe.close();
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(work.path());
        program.start(QStringLiteral(BOLARIS_APP), {});
        const qulonglong main = small.window(kMainTitle);
        QVERIFY(main);
        QTRY_COMPARE_WITH_TIMEOUT(small.client(main).width(), 810, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!small.frame(main).isNull(), 10000);
        const QRect client = small.client(main);
        const int menu = client.height() - 551;
        // The column of buttons, check boxes and report, and the board, on the screen.
        const QRect column = QRect(8 + 673, 5 + 6, 122, 518).translated(client.topLeft() + QPoint(0, menu));
        const QRect board = QRect(8 + 5, 5 + 3, 670, 396).translated(client.topLeft() + QPoint(0, menu));
        small.click(main, 368, menu / 2);                  // "Sorteio"
        small.click(main, 8 + 681 + 6, menu + 5 + 208 + 8); // "Telão"
        const qulonglong display = small.window(QStringLiteral("Telão$"));
        QVERIFY(display);
        small.click(main, 8 + 681 + 6, menu + 5 + 231 + 8); // "Celulares": the address and its QR code
        QTest::qWait(800);
        const auto inFront = [&] { return small.stacking().indexOf(display) > small.stacking().indexOf(main); };
        QVERIFY(inFront());
        // Placed again once the window manager has framed it: a loaded machine takes a while.
        QTRY_VERIFY_WITH_TIMEOUT(!small.outer(display).intersects(column), 5000);
        QVERIFY(small.outer(display).width() > 600); // left of the controls, the largest room
        QCOMPARE(small.active(), main);
        QTest::qWait(1000);
        small.screenshot(QStringLiteral("display-one-screen-1-idle"));

        small.click(main, 8 + 200, menu + 5 + 440); // the order of the draw, below the board
        QTest::qWait(300);
        QVERIFY(inFront());
        QCOMPARE(small.active(), main);

        small.click(main, 8 + 735, menu + 5 + 62); // "Sorteio manual": the board is clicked now
        QTRY_VERIFY_WITH_TIMEOUT(!small.outer(display).intersects(board), 5000);
        QVERIFY(!small.outer(display).intersects(column));
        QTest::qWait(300);
        small.screenshot(QStringLiteral("display-one-screen-2-manual"));
        small.close(main);
        QVERIFY(program.waitForFinished(15000));
    }

    // Started from the menu entry (the hidden user folder), "Salvar" proposes
    // the user's documents folder; the folder chosen then is proposed for the
    // rest of the run.
    void saveDialogProposesDocuments() {
        QTemporaryDir home, elsewhere;
        const QDir h(home.path());
        QVERIFY(h.mkpath(QStringLiteral(".config")) && h.mkpath(QStringLiteral("Documentos")));
        QFile dirs(h.filePath(QStringLiteral(".config/user-dirs.dirs")));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Documentos\"\n");
        dirs.close();
        QProcess program;
        QProcessEnvironment env = m_desktop->environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("HOME"), home.path());
        for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            env.remove(QLatin1String(name));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(BOLARIS_APP), {QStringLiteral("--user-folder")});
        const qulonglong main = framedMainWindow();
        QVERIFY(main);
        issue(main, QStringLiteral("1"), QStringLiteral("3"), 100); // "3 por folha"
        QVERIFY(m_desktop->window(kPreviewTitle));
        QTest::qWait(500);
        const auto save = [&](const QString &typed, const QString &shot) {
            m_desktop->key(QStringLiteral("ctrl+s"));
            QVERIFY(m_desktop->window(QStringLiteral("^Salvar$")));
            QTest::qWait(500);
            if (!shot.isEmpty())
                m_desktop->screenshot(shot);
            if (!typed.isEmpty()) {
                m_desktop->key(QStringLiteral("ctrl+a"));
                m_desktop->type(typed);
            }
            m_desktop->key(QStringLiteral("Return"));
        };
        save({}, QStringLiteral("save-dialog-documents"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(h.filePath(QStringLiteral("Documentos/cartelas.pdf"))), 15000);
        QTest::qWait(500);
        save(QDir(elsewhere.path()).filePath(QStringLiteral("folhas.pdf")), {});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QDir(elsewhere.path()).filePath(QStringLiteral("folhas.pdf"))), 15000);
        QTest::qWait(500);
        save({}, QStringLiteral("save-dialog-remembered"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QDir(elsewhere.path()).filePath(QStringLiteral("cartelas.pdf"))), 15000);
        QVERIFY(!QFileInfo::exists(h.filePath(QStringLiteral(".local/share/bolaris/cartelas.pdf"))));
        m_desktop->close(main);
        QVERIFY(program.waitForFinished(15000));
    }

    // With the Export panel open, a panel opened beneath it keeps the
    // keyboard out of its hidden boxes: what is typed goes where it is seen.
    void noFocusUnderTheExportPanel() {
        QTemporaryDir work;
        auto program = startProgram(work.path());
        const qulonglong main = framedMainWindow();
        QVERIFY(main);
        const int menu = m_desktop->client(main).height() - 551;
        m_desktop->click(main, 293, menu / 2); // "Opções da cartela"
        QTest::qWait(300);
        m_desktop->key(QStringLiteral("Down"));
        m_desktop->key(QStringLiteral("Down"));
        m_desktop->key(QStringLiteral("Return")); // the Export panel
        QTest::qWait(300);
        m_desktop->click(main, 60, menu / 2); // "Emissão de cartelas", beneath it
        QTest::qWait(300);
        m_desktop->type(QStringLiteral("Z")); // into the Export panel's series box, in sight
        QTest::qWait(300);
        m_desktop->screenshot(QStringLiteral("focus-under-export"));
        m_desktop->click(main, 29 + 302, menu + 121 + 315); // the Export panel's "Sai"
        QTest::qWait(300);
        m_desktop->type(QStringLiteral("B")); // into the Issue panel's series box, now in sight
        QTest::qWait(300);
        m_desktop->screenshot(QStringLiteral("focus-after-export"));
        m_desktop->click(main, 89 + 227, menu + 46 + 384); // "Emite"
        // Series B is accepted and the empty range refused; a Z typed into the
        // hidden series box would have made the series "ZB", refused first.
        QVERIFY(m_desktop->window(QStringLiteral("^Número das cartelas a emitir$"), 5000));
        m_desktop->key(QStringLiteral("Return"));
        m_desktop->close(main);
        QVERIFY(program->waitForFinished(15000));
    }

    // A range typed over cards sold in part asks before un-selling any; Esc
    // (the question's "Não") enters only the unsold cards.
    void overlappingRangeAsks() {
        QTemporaryDir work;
        auto program = startProgram(work.path());
        const qulonglong main = framedMainWindow();
        QVERIFY(main);
        const int menu = m_desktop->client(main).height() - 551;
        validate(main, menu, QStringLiteral("B"), QStringLiteral("1-250"));
        QTest::qWait(500);
        m_desktop->click(main, 260, menu + 242); // the card box again
        m_desktop->type(QStringLiteral("245-255"));
        m_desktop->key(QStringLiteral("Return"));
        QVERIFY(m_desktop->window(QStringLiteral("^Exclusão de cartela$")));
        QTest::qWait(300);
        m_desktop->screenshot(QStringLiteral("overlapping-range-question"));
        m_desktop->key(QStringLiteral("Escape"));
        QTest::qWait(500);
        m_desktop->close(main);
        QVERIFY(program->waitForFinished(15000));
        bolaris::Dataset sold;
        sold.setDirectory(work.path());
        sold.setFileName(QStringLiteral("Validadas.cds"));
        sold.setReadOnly(true);
        sold.open();
        QCOMPARE(sold.recordCount(), 255);
    }

    // The winners window has its outer height and its title bar on the
    // screen on every show, the first and those after hidden scans.
    void winnersWindowOnEveryShow() {
        QTemporaryDir work;
        auto program = startProgram(work.path());
        const qulonglong main = m_desktop->window(kMainTitle);
        QVERIFY(main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->frame(main).isNull(), 10000);
        const int menu = m_desktop->client(main).height() - 551;
        validate(main, menu, QStringLiteral("A"), QStringLiteral("1-2000")); // all of series A sold
        QTest::qWait(1500);
        m_desktop->click(main, 302, menu + 419); // "Sai"
        m_desktop->click(main, 368, menu / 2);   // "Sorteio"
        for (int top : {484, 502, 521})          // the three prize switches
            m_desktop->click(main, 430, menu + top);
        m_desktop->click(main, 743, menu + 97); // "Sorteio eletrônico"
        const QList<int> heights = {139, 236, 332, 429, 528, 624};
        int shows = 0;
        bool hiddenBefore = true;
        for (int ball = 0; ball < 60 && shows < 3; ++ball) {
            m_desktop->click(main, 734, menu + 33); // "Sortear pedra"
            if (ball < 3)
                continue; // no prize has fewer than four numbers
            const QString found = m_desktop->run(
                QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                            QStringLiteral("--name"), QStringLiteral("^Cartões vencedores$")});
            const bool shown = !found.trimmed().isEmpty();
            if (shown && hiddenBefore) {
                QTest::qWait(700);
                const qulonglong venc = found.split(QLatin1Char('\n')).first().toULongLong();
                const QMargins frame = m_desktop->frame(venc);
                const QRect client = m_desktop->client(venc);
                QVERIFY2(heights.contains(client.height() + frame.top() + frame.bottom()),
                         qPrintable(QString::number(client.height() + frame.top() + frame.bottom())));
                QVERIFY(m_desktop->frameCorner(venc).y() >= 0);
                m_desktop->screenshot(QStringLiteral("winners-%1").arg(++shows));
                m_desktop->click(main, 430, menu + 502); // "linha" again, for the next prize
            }
            hiddenBefore = !shown;
        }
        QVERIFY(shows >= 2);
        m_desktop->close(main);
        QVERIFY(program->waitForFinished(15000));
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
