#include "DrawFixture.h"
#include "TestSupport.h"
#include "app/UnitMenu.h"
#include "game/BallSource.h"
#include "game/DrawLog.h"
#include "draw/DrawPanel.h"
#include "draw/MediaInstaller.h"
#include "draw/DrawPrizesWindow.h"
#include "draw/MediaMaker.h"
#include "draw/UnitVenc.h"
#include "report/Fonts.h"
#include "ui/EnterKeys.h"
#include "ui/SoundPlayer.h"
#include "ui/UiBuild.h"
#include "validation/ValidationRegistry.h"

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QStyleHints>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

using namespace bolaris;
using namespace bolaris::test;

namespace {

bool menuEmpty(TFormMenu &w)
{
    for (QAction *a : w.menuBar()->actions())
        if (a->isVisible())
            return false;
    return true;
}

} // namespace

class TestDrawPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void layout()
    {
        DrawFixture f;
        f.enter();
        QCOMPARE(f.panel->geometry(), QRect(8, 5, 798, 534));
        QCOMPARE(f.get(QStringLiteral("PanelPedras"))->geometry(), QRect(5, 3, 670, 396));
        const int lefts[] = {6, 73, 139, 205, 271, 337, 403, 469, 535, 601};
        const int tops[] = {6, 49, 92, 135, 178, 221, 264, 307, 351};
        for (int n = 1; n <= 90; ++n) {
            auto *ball = f.get<QLabel>(QStringLiteral("P%1").arg(n));
            QCOMPARE(ball->text(), QString::number(n));
            QCOMPARE(ball->geometry(), QRect(lefts[(n - 1) % 10], tops[(n - 1) / 10], 64, 41));
            QCOMPARE(ball->parentWidget()->objectName(), QStringLiteral("PanelPedras"));
        }
        const QList<std::pair<QString, QRect>> places = {
            {"LabelOrdem", {7, 405, 530, 65}},       {"PanelUltima", {540, 419, 128, 109}},
            {"LabelSorteadas", {234, 472, 37, 26}},  {"LabelRestam", {234, 504, 37, 26}},
            {"CheckCantos", {416, 472, 108, 17}},    {"CheckLinha", {416, 490, 108, 17}},
            {"Check2linhas", {416, 509, 108, 17}},   {"Memo1", {673, 249, 122, 244}},
            {"PanelTipo", {680, 6, 110, 115}},       {"ButtonManual", {7, 43, 96, 27}},
            {"ButtonEletronico", {7, 73, 96, 27}},   {"ButtonAlea", {679, 16, 96, 25}},
            {"ButtonFim", {681, 98, 96, 25}},        {"ButtonSair", {682, 128, 96, 25}},
            {"CheckSom", {681, 162, 102, 17}},       {"CheckImagem", {681, 185, 102, 17}},
            {"ButtonConfCart", {674, 499, 96, 25}},  {"PanelImagem", {5, 6, 55, 49}},
        };
        for (const auto &[name, place] : places)
            QVERIFY2(f.get(name)->geometry() == place, qPrintable(name));
        const QList<std::pair<QString, QString>> captions = {
            {"Label12", "Última pedra sorteada"}, {"LabelCC", "Cartelas concorrendo:"},
            {"LabelSor", "Pedras sorteadas"},     {"LabelRes", "Faltam"},
            {"Label13", "Sorteios extras:"},      {"LabelOrdem", "Ordem do sorteio:"},
        };
        for (const auto &[name, caption] : captions)
            QCOMPARE(f.text(name), caption);
        for (const char *name : {"CheckCantos", "CheckLinha", "Check2linhas", "CheckSom", "CheckImagem"})
            QVERIFY(!f.get<QCheckBox>(QString::fromLatin1(name))->isChecked());
        QCOMPARE(f.get<QCheckBox>(QStringLiteral("CheckCantos"))->text(), QStringLiteral("Os quatro cantos"));
        QCOMPARE(f.get<QPushButton>(QStringLiteral("ButtonEletronico"))->text(), QStringLiteral("Sorteio eletrônico"));
        QCOMPARE(f.get<QLabel>(QStringLiteral("P1"))->font().pixelSize(), 32);
        QCOMPARE(f.get<QLabel>(QStringLiteral("PanelUltima"))->font().pixelSize(), 96);
        QCOMPARE(f.text(QStringLiteral("PanelUltima")), QString());
        QCOMPARE(f.text(QStringLiteral("Memo1")), QString());
    }

    void entering_data()
    {
        QTest::addColumn<QString>("cards");
        QTest::addColumn<QString>("count");
        QTest::newRow("no validated cards") << QString() << "0";
        QTest::newRow("250 cards") << "1-250" << "250";
    }
    void entering()
    {
        QFETCH(QString, cards);
        QFETCH(QString, count);
        DrawFixture f;
        f.prompter.answers = {true};
        if (!cards.isEmpty())
            f.window->registry().SaiEnter(QStringLiteral("B"), cards, f.prompter);
        f.enter();
        QVERIFY(menuEmpty(*f.window));
        QVERIFY(f.panel->isVisible());
        QCOMPARE(f.text(QStringLiteral("LabelConcor")), count);
        QVERIFY(f.shown(QStringLiteral("PanelTipo")));
        QVERIFY(!f.shown(QStringLiteral("ButtonAlea")));
        QVERIFY(!f.shown(QStringLiteral("ButtonFim")));
        QVERIFY(!f.get(QStringLiteral("PanelPedras"))->isEnabled());
    }

    void ninetyElectronicBalls()
    {
        DrawFixture f;
        f.enter();
        f.startElectronic();
        QVERIFY(f.shown(QStringLiteral("ButtonAlea")));
        QVERIFY(f.shown(QStringLiteral("ButtonFim")));
        QVERIFY(!f.shown(QStringLiteral("PanelTipo")));
        for (int i = 0; i < 90; ++i) {
            f.source.push(0); // the lowest undrawn ball each time
            f.click(QStringLiteral("ButtonAlea"));
        }
        QCOMPARE(f.text(QStringLiteral("LabelSorteadas")), QStringLiteral("90"));
        QCOMPARE(f.text(QStringLiteral("LabelRestam")), QStringLiteral("0"));
        QVERIFY(!f.get(QStringLiteral("ButtonAlea"))->isEnabled());
        for (int n = 1; n <= 90; ++n)
            QCOMPARE(f.ballColour(n), ui::clRed);
        QCOMPARE(f.text(QStringLiteral("PanelUltima")), QStringLiteral("90"));
    }

    void electronicTexts()
    {
        DrawFixture f;
        f.enter();
        f.startElectronic();
        f.drawBall(7);
        QCOMPARE(f.text(QStringLiteral("PanelUltima")), QStringLiteral("07"));
        f.drawBall(45);
        f.drawBall(90);
        QCOMPARE(f.text(QStringLiteral("LabelOrdem")), QStringLiteral("Ordem do sorteio:07 45 90 "));
        QCOMPARE(f.text(QStringLiteral("PanelUltima")), QStringLiteral("90"));
        QCOMPARE(f.text(QStringLiteral("LabelSorteadas")), QStringLiteral("3"));
        QCOMPARE(f.text(QStringLiteral("LabelRestam")), QStringLiteral("87"));
        QCOMPARE(f.ballColour(45), ui::clRed);
        QCOMPARE(f.ballColour(44), ui::clLime);
    }

    void manualTakeBack()
    {
        DrawFixture f;
        f.enter();
        f.startManual();
        QVERIFY(!f.shown(QStringLiteral("ButtonAlea")));
        QCOMPARE(f.window->focusWidget(), f.get(QStringLiteral("PanelPedras"))); // not "Encerra o sorteio"
        f.clickBall(7);
        QCOMPARE(f.ballColour(7), ui::clRed);
        QCOMPARE(f.text(QStringLiteral("LabelSorteadas")), QStringLiteral("1"));
        f.clickBall(7);
        QCOMPARE(f.text(QStringLiteral("LabelOrdem")), QStringLiteral("Ordem do sorteio:7 -7 "));
        QCOMPARE(f.text(QStringLiteral("LabelSorteadas")), QStringLiteral("0"));
        QCOMPARE(f.text(QStringLiteral("LabelRestam")), QStringLiteral("90"));
        QCOMPARE(f.text(QStringLiteral("PanelUltima")), QStringLiteral("7"));
        QCOMPARE(f.ballColour(7), ui::clLime);
        QVERIFY(!f.panel->state().drawn(7));
    }

    // A second click on a ball within the double-click interval belongs to
    // the first; a click after the interval takes the ball back.
    void doubleClickDrawsOnce()
    {
        DrawFixture f;
        f.enter();
        f.startManual();
        const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        f.clickBall(21);
        f.now += interval - 1;
        f.click(QStringLiteral("P21"));
        QCOMPARE(f.text(QStringLiteral("LabelOrdem")), QStringLiteral("Ordem do sorteio:21 "));
        QVERIFY(f.panel->state().drawn(21));
        f.now += 1; // a whole interval after the first click
        f.click(QStringLiteral("P21"));
        QCOMPARE(f.text(QStringLiteral("LabelOrdem")), QStringLiteral("Ordem do sorteio:21 -21 "));
        QVERIFY(!f.panel->state().drawn(21));
        f.click(QStringLiteral("P22")); // another ball at once is a ball of its own
        QVERIFY(f.panel->state().drawn(22));
    }

    // The keyboard: "Sortear pedra" has the focus once an electronic draw
    // starts, and Enter presses a button as Space does.
    void keyboardDraw_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }
    void keyboardDraw()
    {
        QFETCH(int, key);
        EnterKeys enterKeys;
        qApp->installEventFilter(&enterKeys);
        DrawFixture f;
        f.enter();
        QCOMPARE(f.window->focusWidget(), f.get(QStringLiteral("ButtonManual")));
        QTest::keyClick(f.get(QStringLiteral("ButtonEletronico")), Qt::Key(key));
        QCOMPARE(f.panel->state().mode(), DrawMode::Electronic);
        QCOMPARE(f.window->focusWidget(), f.get(QStringLiteral("ButtonAlea")));
        f.source.push(0);
        QTest::keyClick(f.window->focusWidget(), Qt::Key(key));
        QCOMPARE(f.panel->state().DrawnCount(), 1);
        QCOMPARE(f.panel->state().mode(), DrawMode::Electronic);
        // A check box ticked with the mouse leaves the keyboard there: the
        // next key draws again and leaves the box as it is.
        auto *linha = f.get<QCheckBox>(QStringLiteral("CheckLinha"));
        QTest::mouseClick(linha, Qt::LeftButton, {}, QPoint(6, linha->height() / 2));
        QVERIFY(linha->isChecked());
        QCOMPARE(f.window->focusWidget(), f.get(QStringLiteral("ButtonAlea")));
        f.source.push(0);
        QTest::keyClick(f.window->focusWidget(), Qt::Key(key));
        QCOMPARE(f.panel->state().DrawnCount(), 2);
        QVERIFY(linha->isChecked());
    }

    // A held key presses a button once, whether the key's repeat comes
    // marked or, as X servers may send it, as release and press pairs at one
    // instant; two separate presses press twice. Also while a ball's picture
    // is being shown.
    void heldKey_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("events"); // p/r press/release at a time; P/R marked as repeat
        QTest::addColumn<int>("presses");
        const QString pairs = QStringLiteral("p1000 r1500 p1500 r1533 p1533 r1566 p1566 r2500");
        const QString marked = QStringLiteral("p1000 R1500 P1500 R1533 P1533 R1566 P1566 r2500");
        const QString twice = QStringLiteral("p1000 r1100 p1250 r1350");
        for (const char *target : {"ButtonAlea", "CheckLinha"}) {
            QTest::addRow("%s held, pairs", target) << target << int(Qt::Key_Space) << pairs << 1;
            QTest::addRow("%s held, marked", target) << target << int(Qt::Key_Space) << marked << 1;
            QTest::addRow("%s pressed twice", target) << target << int(Qt::Key_Space) << twice << 2;
        }
        QTest::newRow("ButtonAlea Enter held, pairs") << "ButtonAlea" << int(Qt::Key_Return) << pairs << 1;
        QTest::newRow("ButtonAlea Enter pressed twice") << "ButtonAlea" << int(Qt::Key_Return) << twice << 2;
    }
    void heldKey()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(QString, events);
        QFETCH(int, presses);
        EnterKeys enterKeys;
        qApp->installEventFilter(&enterKeys);
        DrawFixture f([](const QString &dir) {
            for (int ball = 1; ball <= 90; ++ball)
                writePicture(dir, ball);
        });
        f.enter();
        f.click(QStringLiteral("CheckImagem"));
        f.panel->setTimeScale(0.02); // each ball event runs a while, as with a picture
        f.startElectronic();
        for (int i = 0; i < 10; ++i)
            f.source.push(0);
        QWidget *widget = f.get(target);
        for (const QString &e : events.split(QLatin1Char(' '))) {
            const bool press = e[0].toLower() == QLatin1Char('p');
            QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier,
                            key == Qt::Key_Space ? QStringLiteral(" ") : QStringLiteral("\r"), e[0].isUpper());
            event.setTimestamp(e.mid(1).toULong());
            QApplication::sendEvent(widget, &event);
        }
        QTRY_VERIFY(!f.panel->ballEventRunning());
        QTest::qWait(50);
        QVERIFY(!f.panel->ballEventRunning());
        if (target == QLatin1String("ButtonAlea"))
            QCOMPARE(f.panel->state().DrawnCount(), presses);
        else
            QCOMPARE(f.get<QCheckBox>(target)->isChecked(), presses % 2 == 1);
    }

    void clicksThatDoNothing_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("before a draw type") << "idle";
        QTest::newRow("electronic draw") << "electronic";
        QTest::newRow("after the end") << "ended";
    }
    void clicksThatDoNothing()
    {
        QFETCH(QString, when);
        DrawFixture f;
        f.enter();
        if (when == QLatin1String("electronic"))
            f.startElectronic();
        if (when == QLatin1String("ended")) {
            f.startManual();
            f.click(QStringLiteral("ButtonFim"));
        }
        const QString order = f.text(QStringLiteral("LabelOrdem"));
        f.clickBall(12);
        QCOMPARE(f.ballColour(12), ui::clLime);
        QCOMPARE(f.panel->state().DrawnCount(), 0);
        QCOMPARE(f.text(QStringLiteral("LabelOrdem")), order);
        QVERIFY(f.sound.played.isEmpty());
    }

    void endingAndLeaving_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Encerra o sorteio") << "ButtonFim";
        QTest::newRow("Sair") << "ButtonSair";
    }
    void endingAndLeaving()
    {
        QFETCH(QString, button);
        DrawFixture f;
        f.enter();
        f.startManual();
        f.clickBall(3);
        f.clickBall(33);
        // A slip never ends a draw: the question's default and Esc answer is No.
        f.click(button);
        QCOMPARE(f.prompter.lastText(), QStringLiteral("Encerra o sorteio com 2 pedras sorteadas?"));
        QVERIFY(!f.prompter.shown.last().defaultYes);
        QCOMPARE(f.panel->state().mode(), DrawMode::Manual);
        QVERIFY(f.panel->isVisible());
        QCOMPARE(f.panel->state().DrawnCount(), 2);
        f.prompter.answers = {true};
        f.click(button);
        QCOMPARE(f.panel->state().mode(), DrawMode::Idle);
        const bool left = button == QLatin1String("ButtonSair");
        QCOMPARE(f.panel->isVisible(), !left);
        QCOMPARE(menuEmpty(*f.window), !left);
        if (left)
            f.enter();
        QVERIFY(f.shown(QStringLiteral("PanelTipo")));
        QVERIFY(!f.shown(QStringLiteral("ButtonFim")));
        QVERIFY(!f.get(QStringLiteral("PanelPedras"))->isEnabled());
        QCOMPARE(f.ballColour(3), ui::clLime);
        QCOMPARE(f.ballColour(33), ui::clLime);
        QCOMPARE(f.text(QStringLiteral("LabelOrdem")), QStringLiteral("Ordem do sorteio:"));
        QCOMPARE(f.text(QStringLiteral("LabelSorteadas")), QStringLiteral("0"));
        QCOMPARE(f.text(QStringLiteral("LabelRestam")), QStringLiteral("90"));
        QCOMPARE(f.text(QStringLiteral("PanelUltima")), QString());
    }

    void sounds_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<bool>("ownVoice");
        QTest::addColumn<QStringList>("played");
        QTest::newRow("unticked") << false << true << QStringList{};
        QTest::newRow("own voice") << true << true << QStringList{"spbl5.wav"};
        QTest::newRow("fallback") << true << false << QStringList{"sompedra.wav"};
    }
    void sounds()
    {
        QFETCH(bool, ticked);
        QFETCH(bool, ownVoice);
        QFETCH(QStringList, played);
        DrawFixture f;
        // The probe file exists, so ticking asks nothing; the ball's own voice may not.
        test::writeBytes(QDir(f.dir.path()).filePath("spbl10.wav"), "RIFF");
        if (ownVoice)
            test::writeBytes(QDir(f.dir.path()).filePath("SPBL5.WAV"), "RIFF"); // any letter case
        f.enter();
        if (ticked)
            f.click(QStringLiteral("CheckSom"));
        f.startManual();
        f.clickBall(5);
        QStringList names;
        for (const QString &name : f.sound.played)
            names << name.toLower();
        QCOMPARE(names, played);
        QVERIFY(f.prompter.shown.isEmpty());
    }

    void probes_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("question");
        QTest::addColumn<int>("parts");
        const QString sound = "Os arquivos de som das pedras não foram localizados na pasta do programa. Baixa da "
                              "internet para instalação?";
        const QString picture = "Os arquivos de imagem das pedras não foram localizados na pasta do programa. Baixa "
                                "da internet para instalação?";
        QTest::newRow("sound, No") << "CheckSom" << false << "Arquivos de som" << sound << int(MediaMaker::Sounds);
        QTest::newRow("sound, Yes") << "CheckSom" << true << "Arquivos de som" << sound << int(MediaMaker::Sounds);
        QTest::newRow("picture, No") << "CheckImagem" << false << "Arquivos de imagem" << picture
                                     << int(MediaMaker::Pictures);
        QTest::newRow("picture, Yes") << "CheckImagem" << true << "Arquivos de imagem" << picture
                                      << int(MediaMaker::Pictures);
    }
    void probes()
    {
        QFETCH(QString, box);
        QFETCH(bool, answer);
        QFETCH(QString, caption);
        QFETCH(QString, question);
        QFETCH(int, parts);
        DrawFixture f;
        f.enter();
        f.prompter.answers = {answer};
        f.click(box);
        QCOMPARE(f.prompter.shown.size(), 1);
        const auto &asked = f.prompter.shown.first();
        QVERIFY(asked.question);
        QVERIFY(!asked.defaultYes);
        QCOMPARE(asked.caption, caption);
        QCOMPARE(asked.text, question);
        QCOMPARE(f.installer.installs, answer ? QList<int>{parts} : QList<int>{});
        QVERIFY(f.get<QCheckBox>(box)->isChecked());
        // Unticking asks nothing.
        f.click(box);
        QVERIFY(!f.get<QCheckBox>(box)->isChecked());
        QCOMPARE(f.prompter.shown.size(), 1);
    }

    void pictureZoomsAndStaysUntilClicked()
    {
        DrawFixture f;
        writePicture(f.dir.path(), 10); // the probe
        writePicture(f.dir.path(), 23);
        f.enter();
        f.click(QStringLiteral("CheckImagem"));
        QVERIFY(f.prompter.shown.isEmpty());
        f.startElectronic();
        f.drawBall(23);
        QWidget *frame = f.get(QStringLiteral("PanelImagem"));
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->geometry(), QRect(34, 0, 721, 522));
        QCOMPARE(f.get(QStringLiteral("Imagem"))->geometry(), QRect(1, 1, 719, 520));
        // A ball without a picture shrinks it where it stands; it stays shown.
        f.drawBall(50);
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->geometry(), QRect(34, 0, 48, 48));
        // Ending the draw and leaving the panel keep it.
        f.prompter.answers = {true};
        f.click(QStringLiteral("ButtonSair"));
        f.enter();
        QVERIFY(frame->isVisible());
        f.click(QStringLiteral("Imagem"));
        QVERIFY(!frame->isVisible());
    }

    void manualPictureStartsAtTheBall()
    {
        DrawFixture f;
        writePicture(f.dir.path(), 10);
        writePicture(f.dir.path(), 90);
        f.enter();
        f.click(QStringLiteral("CheckImagem"));
        f.startManual();
        f.panel->setTimeScale(0.05);
        f.clickBall(90);
        QWidget *frame = f.get(QStringLiteral("PanelImagem"));
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->geometry(), QRect(601, 351 + 36, 48, 48));
        QTRY_VERIFY(!f.panel->ballEventRunning());
        QCOMPARE(frame->geometry(), QRect(34, 0, 721, 522));
    }

    // Input during a ball event waits for its end and keeps its order.
    void inputHeldDuringABallEvent()
    {
        DrawFixture f;
        writePicture(f.dir.path(), 10);
        for (int n = 1; n <= 90; ++n)
            writePicture(f.dir.path(), n);
        f.enter();
        f.click(QStringLiteral("CheckImagem"));
        f.startElectronic();
        f.panel->setTimeScale(0.1); // about 155 ms a ball
        for (int value : {0, 5, 7})
            f.source.push(value);
        f.click(QStringLiteral("ButtonAlea"));
        QVERIFY(f.panel->ballEventRunning());
        f.click(QStringLiteral("ButtonAlea"));
        f.prompter.answers = {true};
        f.click(QStringLiteral("ButtonFim"));
        f.click(QStringLiteral("ButtonAlea")); // after the end: nothing
        QCOMPARE(f.panel->state().DrawnCount(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(f.panel->state().mode() == DrawMode::Idle, 5000);
        QVERIFY(!f.panel->ballEventRunning());
        QCOMPARE(f.text(QStringLiteral("LabelSorteadas")), QStringLiteral("0"));
        QCOMPARE(f.source.value(90), 7); // two balls were drawn, the second after the first had ended
    }

    // The panel applies a scan: the text box, the winners window, the switches,
    // the win sound (after the pause when "Som da pedra" is ticked).
    void winnersOfABall_data()
    {
        QTest::addColumn<bool>("som");
        QTest::newRow("sound off: win sound at once") << false;
        QTest::newRow("sound on: win sound after the pause") << true;
    }
    void winnersOfABall()
    {
        QFETCH(bool, som);
        DrawFixture f;
        test::writeBytes(QDir(f.dir.path()).filePath("spbl10.wav"), "RIFF");
        f.prompter.answers = {true};
        f.window->registry().SaiEnter(QStringLiteral("A"), QStringLiteral("1-2"), f.prompter);
        f.enter();
        f.click(QStringLiteral("CheckLinha"));
        if (som)
            f.click(QStringLiteral("CheckSom"));
        f.startManual();
        for (int ball : {24, 40, 70, 87, 1, 21, 32, 72})
            f.clickBall(ball);
        QVERIFY(f.text(QStringLiteral("Memo1")).contains(QStringLiteral("faltando 1 pedra.")));
        auto *venc = qobject_cast<TFormVenc *>(f.window->otherWindows()[4]);
        QVERIFY(!venc->isVisible());
        f.sound.played.clear();
        auto *memo = f.get<QPlainTextEdit>(QStringLiteral("Memo1"));
        memo->setFixedHeight(40); // shorter than the report
        f.panel->setTimeScale(som ? 0.05 : 0); // a pause of 100 ms
        // Seen from inside the pause: the event still runs and the win sound waits.
        bool paused = false;
        QTimer::singleShot(30, f.panel, [&] {
            paused = f.panel->ballEventRunning() && !f.sound.played.contains(QStringLiteral("bateu.wav"));
        });
        f.clickBall(51);
        QCOMPARE(paused, som);
        QVERIFY(!f.panel->ballEventRunning());
        QCOMPARE(f.sound.played.filter(QStringLiteral("bateu")), QStringList{"bateu.wav"});
        QCOMPARE(f.text(QStringLiteral("Memo1")),
                 QStringLiteral("CARTELA 1 SERIE A\nLINHA. Cartão 1\nCARTELA 2 SERIE A\nLINHA. Cartão 7"));
        QVERIFY(memo->verticalScrollBar()->maximum() > 0);
        QCOMPARE(memo->verticalScrollBar()->value(), 0); // the first winner is in sight
        QVERIFY(!f.get<QCheckBox>(QStringLiteral("CheckLinha"))->isChecked());
        QVERIFY(venc->isVisible());
        QCOMPARE(venc->WinnersShown(), 2);
        QCOMPARE(venc->findChild<QLabel *>(QStringLiteral("LabelCB2"))->text(), QStringLiteral("Cartão7"));

        // Taken back: no prize, the switch stays off, the window hides.
        f.clickBall(51);
        QVERIFY(!f.text(QStringLiteral("Memo1")).contains(QStringLiteral("LINHA")));
        QVERIFY(!f.get<QCheckBox>(QStringLiteral("CheckLinha"))->isChecked());
        QVERIFY(!venc->isVisible());
    }

    // A prize switch ticked during a ball event counts from the next ball:
    // the line this ball completes is not announced at it.
    void switchHeldDuringABallEvent_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("mouse") << false;
        QTest::newRow("Space") << true;
    }
    void switchHeldDuringABallEvent()
    {
        QFETCH(bool, byKey);
        DrawFixture f;
        writePicture(f.dir.path(), 10);
        writePicture(f.dir.path(), 51);
        f.prompter.answers = {true};
        f.window->registry().SaiEnter(QStringLiteral("A"), QStringLiteral("1-2"), f.prompter);
        f.enter();
        f.click(QStringLiteral("CheckImagem"));
        f.startManual();
        for (int ball : {24, 40, 70, 87, 1, 21, 32, 72})
            f.clickBall(ball);
        f.panel->setTimeScale(0.1);
        f.clickBall(51); // completes the first row of ticket 1
        QVERIFY(f.panel->ballEventRunning());
        auto *linha = f.get<QCheckBox>(QStringLiteral("CheckLinha"));
        if (byKey)
            QTest::keyClick(linha, Qt::Key_Space);
        else
            f.click(QStringLiteral("CheckLinha"));
        QVERIFY(!linha->isChecked());
        QTRY_VERIFY(!f.panel->ballEventRunning());
        QVERIFY(linha->isChecked());
        QVERIFY(!f.text(QStringLiteral("Memo1")).contains(QStringLiteral("LINHA")));
        f.panel->setTimeScale(0);
        f.clickBall(60);
        QVERIFY(f.text(QStringLiteral("Memo1")).contains(QStringLiteral("LINHA. Cartão 1")));
    }

    // The draw's prizes stay listed after later balls and after the draw
    // ends, until the next draw starts; the minutes wait for no draw to run.
    void prizesOfTheDrawStayListed()
    {
        DrawFixture f(sellCardTwo);
        f.enter();
        DrawPrizesWindow *window = f.panel->prizesWindow();
        QVERIFY(window->isVisible());
        auto *table = window->findChild<QTableView *>(QStringLiteral("GridPremios"));
        auto *ata = window->findChild<QPushButton *>(QStringLiteral("ButtonAta"));
        const auto row = [table](int r) {
            QStringList cells;
            for (int c = 0; c < table->model()->columnCount(); ++c)
                cells << table->model()->index(r, c).data().toString();
            return cells.join(QLatin1Char('|'));
        };
        f.click(QStringLiteral("CheckLinha"));
        f.startManual();
        QVERIFY(!ata->isEnabled());
        for (int ball : {1, 21, 32, 51, 72, 5, 6}) // row 1 of ticket 7 at the fifth ball, then two others
            f.clickBall(ball);
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(row(0), QStringLiteral("LINHA|5ª pedra (72)|A|2|7"));
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("LabelPremios"))->text(), QStringLiteral("Sorteio 1: 1 prêmio(s)"));
        f.prompter.answers = {true};
        f.click(QStringLiteral("ButtonFim"));
        QCOMPARE(table->model()->rowCount(), 1); // after the end too
        QVERIFY(ata->isEnabled());
        f.startManual();
        QCOMPARE(table->model()->rowCount(), 0);
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("LabelPremios"))->text(),
                 QStringLiteral("Sorteio 2: nenhum prêmio até agora"));
    }

    // Below the main window when there is room, else beside it, else at
    // the screen's bottom left of the controls; never over them.
    void prizesWindowPlace_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("expected");
        const QRect main(0, 0, 812, 590);
        QTest::newRow("1280 x 1024") << QRect(0, 0, 1280, 1024) << QRect(0, 592, 812, 420);
        QTest::newRow("1280 x 800") << QRect(0, 0, 1280, 800) << QRect(0, 592, 812, 208);
        QTest::newRow("1366 x 700") << QRect(0, 0, 1366, 700) << QRect(814, 280, 552, 420);
        QTest::newRow("1024 x 600") << QRect(0, 0, 1024, 600) << QRect(0, 450, 678, 150);
    }
    void prizesWindowPlace()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        const QRect keepClear(680, 20, 130, 520);
        const QRect place = DrawPrizesWindow::placeFor(QRect(0, 0, 812, 590), available, keepClear);
        QCOMPARE(place, expected);
        QVERIFY(available.contains(place));
        QVERIFY(!place.intersects(keepClear));
    }

    void cardsMissingFromTheStoreAreToldOncePerDraw()
    {
        DrawFixture f;
        f.prompter.answers = {true};
        f.window->registry().SaiEnter(QStringLiteral("B"), QStringLiteral("1-3"), f.prompter);
        f.prompter.clear();
        f.enter();
        f.click(QStringLiteral("CheckLinha"));
        for (int round = 0; round < 2; ++round) {
            f.startManual();
            for (int ball : {1, 2, 3, 4})
                f.clickBall(ball);
            QCOMPARE(f.prompter.shown.size(), 2 * round + 1);
            QVERIFY(f.prompter.lastText().contains(QStringLiteral("B-1, B-2, B-3")));
            f.prompter.answers = {true};
            f.click(QStringLiteral("ButtonFim"));
        }
    }

    // Closing the main window during a ball event ends the event where it is:
    // the zoom stops and held input is dropped, since the registry they would
    // read has been closed.
    void closingDuringABallEvent()
    {
        DrawFixture f;
        for (int n = 1; n <= 90; ++n)
            writePicture(f.dir.path(), n);
        f.enter();
        f.click(QStringLiteral("CheckImagem"));
        f.startElectronic();
        f.panel->setTimeScale(0.1); // about 155 ms a ball
        for (int value : {0, 5})
            f.source.push(value);
        f.click(QStringLiteral("ButtonAlea"));
        QVERIFY(f.panel->ballEventRunning());
        f.click(QStringLiteral("ButtonAlea")); // held
        QWidget *picture = f.get(QStringLiteral("PanelImagem"));
        const QRect zoomedTo = picture->geometry();
        f.window->close();
        QVERIFY(!f.window->registry().TableVali().isOpen());
        QTest::qWait(600);
        QCOMPARE(f.panel->state().DrawnCount(), 1);
        QCOMPARE(picture->geometry(), zoomedTo);
        QVERIFY(f.prompter.shown.isEmpty());
    }

    // A registry held by another program while the window opened is read
    // again when the panel is entered or a draw starts; a draw that still
    // cannot read it says so before the first ball.
    void registryBusyAtTheStart()
    {
        sqlite3 *holder = nullptr;
        DrawFixture f([&](const QString &dir) {
            ValidationRegistry registry(dir);
            registry.open();
            registry.SaiEnter(QStringLiteral("A"), QStringLiteral("1-4"), f.prompter);
            registry.close();
            sqlite3_open(QFile::encodeName(QDir(dir).filePath("Validadas.cds")).constData(), &holder);
            sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        });
        f.prompter.shown.clear();
        f.enter();
        QCOMPARE(f.text(QStringLiteral("LabelConcor")), QStringLiteral("0"));
        f.startElectronic();
        QCOMPARE(f.prompter.shown.size(), 1);
        QVERIFY2(f.prompter.shown[0].text.contains(QStringLiteral("nenhuma cartela concorre")),
                 qPrintable(f.prompter.shown[0].text));
        f.click(QStringLiteral("ButtonFim"));

        sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(holder);
        f.enter();
        QCOMPARE(f.text(QStringLiteral("LabelConcor")), QStringLiteral("4"));
        f.startElectronic();
        QCOMPARE(f.prompter.shown.size(), 1);
    }

    // A log that stops being written is told once; written again and then
    // stopped again, it is told again; closing says how many events were lost.
    void logFailuresToldEachTime()
    {
        std::unique_ptr<test::SmallDisk> disk;
        DrawFixture f([&](const QString &dir) { disk = std::make_unique<test::SmallDisk>(dir, 2048); });
        SKIP_WITHOUT_DISK(*disk);
        const auto told = [&f](const char *what) {
            int n = 0;
            for (const auto &m : f.prompter.shown)
                n += m.text.contains(QString::fromUtf8(what));
            return n;
        };
        const auto ball = [&f](int n) {
            f.clickBall(n);
            f.panel->drainLog();
        };
        f.enter();
        f.startManual();
        ball(1);
        QCOMPARE(told("não pode ser gravado"), 0);
        disk->fillUp();
        ball(2);
        QTRY_COMPARE(told("não pode ser gravado"), 1);
        ball(3);
        QTest::qWait(50);
        QCOMPARE(told("não pode ser gravado"), 1);

        QVERIFY(QFile::remove(disk->file(QStringLiteral("filler"))));
        ball(4);
        QTest::qWait(50);
        QCOMPARE(told("não pode ser gravado"), 1);
        QCOMPARE(DrawLog::read(disk->path()).back().ball, 4); // what waited is written too

        disk->fillUp();
        ball(5);
        QTRY_COMPARE(told("não pode ser gravado"), 2);
        disk->fillUp(); // the room the failed log let go of
        f.window->close();
        QCOMPARE(told("se perderam"), 1);
        disk.reset(); // unmounted before the working folder is removed
    }

    void competingCountHides()
    {
        DrawFixture f;
        f.enter();
        auto colour = [&](const char *name) {
            return f.get(QString::fromLatin1(name))->palette().color(QPalette::WindowText);
        };
        const QList<QColor> expected = {ui::clBlack, ui::clMoneyGreen, ui::clBlack};
        for (int i = 0; i < 3; ++i) {
            f.click(i == 1 ? QStringLiteral("LabelCC") : QStringLiteral("LabelConcor"));
            QCOMPARE(colour("LabelConcor"), expected[i]);
            QCOMPARE(colour("LabelCC"), expected[i]);
        }
    }
};

QTEST_MAIN(TestDrawPanel)
#include "tst_drawpanel.moc"
