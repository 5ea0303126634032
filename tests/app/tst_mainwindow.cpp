#include "TestSupport.h"
#include "ui/UiBuild.h"
#include "app/UnitMenu.h"
#include "report/Fonts.h"
#include "cards/CardStore.h"
#include "cards/SeriesA.h"
#include "dataset/Dataset.h"
#include "validation/ValidationRegistry.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QResource>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>

using namespace bolaris;

namespace {

const QStringList kModeEntries = {"MenuEmissao", "MenuValidacao", "MenuOpcoes", "MenuCores", "MenuSorteio",
                                  "MenuSair"};
const QStringList kPanels = {"PanelValidacao", "PanelEmissao", "PanelCores", "PanelSorteio", "PanelTexto"};

QAction *action(TFormMenu &w, const QString &name) { return w.menuBar()->findChild<QAction *>(name); }
QWidget *widget(TFormMenu &w, const QString &name) { return w.findChild<QWidget *>(name); }

bool menuShown(TFormMenu &w)
{
    for (const QString &name : kModeEntries)
        if (!action(w, name)->isVisible())
            return false;
    return action(w, QStringLiteral("Exportaodobancodedados1"))->isVisible();
}

bool menuEmpty(TFormMenu &w)
{
    for (const QString &name : kModeEntries)
        if (action(w, name)->isVisible())
            return false;
    return true;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void startState()
    {
        QTemporaryDir dir;
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Bolaris 90/15 "));
        QCOMPARE(w.pos(), QPoint(0, 0));
        QCOMPARE(w.centralWidget()->size(), QSize(810, 551));
        for (const QString &name : kPanels)
            QVERIFY2(!widget(w, name)->isVisible(), qPrintable(name));
        QVERIFY(menuShown(w));
        QStringList captions;
        for (QAction *a : w.menuBar()->actions())
            captions << a->text();
        QCOMPARE(captions, (QStringList{"Emissão de cartelas", "Validação das cartelas", "Opções da cartela",
                                        "Sorteio", "Sair"}));
        QCOMPARE(action(w, "MenuCores")->text(), QStringLiteral("Cores"));
        QCOMPARE(action(w, "Exportaodobancodedados1")->text(),
                 QStringLiteral("Gerar arquivo .CSV para Excell/Corel/Word"));
        // The sub-menu, a window of its own, speaks in the menu bar's face.
        const QFont barFont = w.menuBar()->font();
        const QFont subFont = w.menuBar()->findChild<QMenu *>(QStringLiteral("MenuOpcoes"))->font();
        QCOMPARE(subFont.pixelSize(), barFont.pixelSize());
        QCOMPARE(subFont.family(), barFont.family());

        auto *image = qobject_cast<QLabel *>(widget(w, "Image1"));
        QCOMPARE(image->geometry(), QRect(69, 2, 673, 537));
        // The background, made once at the size it is shown: the picture the
        // build scaled, as the large one scaled here would look.
        QVERIFY(!image->pixmap().isNull());
        QCOMPARE(image->pixmap().deviceIndependentSize().toSize(), image->size());
        QVERIFY(QResource(QStringLiteral(":/bolaris/background-673x537.rgb32")).isValid());
        const QImage shown = image->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage expected = QImage(QStringLiteral(":/bolaris/background.png"))
                                    .scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                    .convertToFormat(QImage::Format_RGB32);
        int farthest = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb a = shown.pixel(x, y), b = expected.pixel(x, y);
                farthest = std::max({farthest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                     std::abs(qBlue(a) - qBlue(b))});
            }
        QVERIFY2(farthest <= 2, qPrintable(QString::number(farthest)));

        // Panels in stacking order with their places.
        const QList<QRect> places = {{41, 50, 737, 425}, {89, 46, 601, 425}, {447, 62, 202, 177},
                                     {8, 5, 798, 534}, {29, 121, 749, 360}};
        const QObjectList children = w.centralWidget()->children();
        qsizetype previous = children.indexOf(image);
        for (int i = 0; i < kPanels.size(); ++i) {
            QWidget *panel = widget(w, kPanels[i]);
            QCOMPARE(panel->geometry(), places[i]);
            QCOMPARE(panel->palette().color(QPalette::Window), ui::clMoneyGreen);
            QVERIFY(children.indexOf(panel) > previous);
            previous = children.indexOf(panel);
        }
        QWidget *conf = widget(w, "PanelConf");
        QCOMPARE(conf->parentWidget(), widget(w, "PanelSorteio"));
        QCOMPARE(conf->pos(), QPoint(5, 3));
        QVERIFY(conf->isHidden());
        QCOMPARE(conf->parentWidget()->children().last(), conf);

        QStringList windows;
        for (QObject *o : w.otherWindows())
            windows << o->objectName();
        QCOMPARE(windows, (QStringList{"TFormCar", "TFormCar4", "TFormCar2", "TFormCar1", "FormVenc",
                                       "TFormCarG", "TFormCarGG", "TFormCar3A4"}));
    }

    void modes_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("exit");
        QTest::addColumn<QString>("exitCaption");
        QTest::newRow("issue") << "MenuEmissao" << "PanelEmissao" << "ButtonCancela" << "Sai";
        QTest::newRow("validation") << "MenuValidacao" << "PanelValidacao" << "ButtonSaiVal" << "Sai";
        QTest::newRow("colours") << "MenuCores" << "PanelCores" << "ButtonOKCores" << "OK";
        QTest::newRow("draw") << "MenuSorteio" << "PanelSorteio" << "ButtonSair" << "Sair";
    }
    void modes()
    {
        QFETCH(QString, entry);
        QFETCH(QString, panel);
        QFETCH(QString, exit);
        QFETCH(QString, exitCaption);
        QTemporaryDir dir;
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        w.show();
        action(w, entry)->trigger();
        QVERIFY(widget(w, panel)->isVisible());
        QVERIFY(menuEmpty(w));
        auto *button = w.findChild<QPushButton *>(exit);
        QCOMPARE(button->text(), exitCaption);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!widget(w, panel)->isVisible());
        QVERIFY(menuShown(w));
    }

    void exportPanelStaysOverAMode()
    {
        QTemporaryDir dir;
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        action(w, "Exportaodobancodedados1")->trigger();
        QWidget *exportPanel = widget(w, "PanelTexto");
        QVERIFY(exportPanel->isVisible());
        QVERIFY(menuShown(w));
        QCOMPARE(QApplication::focusWidget(), widget(w, "EditSerieG"));

        action(w, "MenuSorteio")->trigger();
        QWidget *draw = widget(w, "PanelSorteio");
        QVERIFY(draw->isVisible());
        QVERIFY(menuEmpty(w));
        // Where the two overlap, the Export panel is on top.
        const QPoint inside = exportPanel->geometry().center();
        QWidget *top = w.centralWidget()->childAt(inside);
        QVERIFY(top == exportPanel || exportPanel->isAncestorOf(top));

        QTest::mouseClick(w.findChild<QPushButton *>("ButtonSaiG"), Qt::LeftButton);
        QVERIFY(!exportPanel->isVisible());
        QVERIFY(draw->isVisible());
        QVERIFY(menuEmpty(w));
    }

    // A mode opened beneath the Export panel never puts the keyboard in a
    // box the Export panel hides; once it is left, the mode's first entry
    // has the keyboard.
    void focusStaysInSight_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("focusBeneath");
        QTest::addColumn<QString>("focusAfter");
        QTest::newRow("issue") << "MenuEmissao" << "EditSerieG" << "EditSerie";
        QTest::newRow("validation") << "MenuValidacao" << "EditSerieG" << "EditVal";
        QTest::newRow("colours") << "MenuCores" << "ButtonCorLetra" << "ButtonCorLetra";
        QTest::newRow("draw") << "MenuSorteio" << "ButtonManual" << "ButtonManual";
    }
    void focusStaysInSight()
    {
        QFETCH(QString, entry);
        QFETCH(QString, focusBeneath);
        QFETCH(QString, focusAfter);
        QTemporaryDir dir;
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        action(w, "Exportaodobancodedados1")->trigger();
        QWidget *exportPanel = widget(w, "PanelTexto");
        action(w, entry)->trigger();
        QWidget *focus = w.focusWidget();
        QVERIFY(focus);
        QCOMPARE(focus->objectName(), focusBeneath);
        QVERIFY(exportPanel->isAncestorOf(focus) ||
                !QRect(focus->mapTo(w.centralWidget(), QPoint(0, 0)), focus->size())
                     .intersects(exportPanel->geometry()));
        QTest::mouseClick(w.findChild<QPushButton *>("ButtonSaiG"), Qt::LeftButton);
        QCOMPARE(w.focusWidget()->objectName(), focusAfter);
    }

    void activationRefillsTheStore()
    {
        QTemporaryDir dir;
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        QVERIFY(w.cardStore().card('A', 1).empty());
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&w, &activate);
        QVERIFY(!w.cardStore().card('A', 1).empty());
        QVERIFY(w.cardStore().card('B', 1).empty());

        const std::string_view a9 = SeriesACard(9);
        test::writeCardFile(dir.path(), {{2001, test::latin1(a9)}});
        QApplication::sendEvent(&w, &activate);
        QCOMPARE(w.cardStore().card('B', 1), a9);

        // An unreadable file is reported once, not at every activation.
        test::writeBytes(QDir(dir.path()).filePath(QStringLiteral("compl22.cds")), "broken");
        QApplication::sendEvent(&w, &activate);
        QApplication::sendEvent(&w, &activate);
        QTRY_COMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.lastText().contains(QStringLiteral("compl22.cds")));
        QTest::qWait(20);
        QCOMPARE(prompter.shown.size(), 1);
    }

    // The close box, even with the Draw panel shown, closes the registry.
    void closeBoxRunsFormClose()
    {
        QTemporaryDir dir;
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        w.show();
        action(w, "MenuSorteio")->trigger();
        QVERIFY(w.registry().TableVali().isOpen());
        w.close();
        QVERIFY(!w.registry().TableVali().isOpen());
        QVERIFY(!w.registry().TableValiC().isOpen());
        QVERIFY(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("Validadas.cds"))));
    }

    // Destroyed while shown, with rows in the registry's grids: no panel may
    // outlive the registry it shows (the sanitizer build sees a use after free).
    void destroyedWhileShown()
    {
        QTemporaryDir dir;
        test::ScriptedPrompter prompter;
        auto w = std::make_unique<TFormMenu>(dir.path(), prompter);
        w->show();
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        action(*w, "MenuValidacao")->trigger();
        QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("EditSer")), QStringLiteral("A"));
        auto *card = w->findChild<QLineEdit *>(QStringLiteral("EditVal"));
        QTest::keyClicks(card, QStringLiteral("1-30"));
        QTest::keyClick(card, Qt::Key_Return);
        w.reset();
        QVERIFY(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("Validadas.cds"))));
    }

    // What a crashed run was writing is removed at start; files that are not
    // the program's temporaries stay.
    void staleTemporariesRemovedAtStart()
    {
        QTemporaryDir dir;
        const QStringList stale = {".cartelas.cds.bolaris-0a1b2c3d.tmp", ".o.pdf.bolaris-99999999.tmp",
                                   ".CartelasG.cds.12345678.tmp"};
        for (const QString &name : stale + QStringList{".notas.txt"})
            test::writeBytes(QDir(dir.path()).filePath(name), "x");
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        const QStringList hidden = QDir(dir.path()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
        QCOMPARE(hidden, (QStringList{".bolaris-registry.lock", ".notas.txt"}));
        w.close();
    }

    // Started after its first paint, the window shows its menu and
    // background at once and makes the panels, the registry and the other
    // windows right after; a handler called before that completes the start
    // first.
    void startAfterFirstPaint()
    {
        QTemporaryDir dir;
        test::ScriptedPrompter prompter;
        {
            TFormMenu w(dir.path(), prompter, nullptr, TFormMenu::Start::AfterFirstPaint);
            QVERIFY(!w.isStarted());
            QVERIFY(!widget(w, "PanelValidacao"));
            QVERIFY(!w.registry().TableVali().isOpen());
            QVERIFY(w.otherWindows().empty());
            QVERIFY(menuShown(w));
            QSignalSpy started(&w, &TFormMenu::started);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QTRY_VERIFY(w.isStarted());
            QCOMPARE(started.size(), 1);
            for (const QString &name : kPanels)
                QVERIFY2(widget(w, name), qPrintable(name));
            QVERIFY(w.registry().TableVali().isOpen());
            QCOMPARE(w.otherWindows().size(), size_t(8));
            w.close();
        }
        TFormMenu w(dir.path(), prompter, nullptr, TFormMenu::Start::AfterFirstPaint);
        action(w, "MenuValidacao")->trigger();
        QVERIFY(w.isStarted());
        QVERIFY(widget(w, "PanelValidacao")->isVisibleTo(&w));
        QVERIFY(w.registry().TableVali().isOpen());
        w.close();
        QVERIFY(!w.registry().TableVali().isOpen());
    }

    void sairClosesTheWindow()
    {
        QTemporaryDir dir;
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        w.show();
        bool closed = false;
        connect(&w, &TFormMenu::closed, [&] { closed = true; });
        action(w, "MenuSair")->trigger();
        QVERIFY(closed);
        QVERIFY(!w.isVisible());
        QVERIFY(prompter.shown.isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
