#include "TestSupport.h"
#include "ui/UiBuild.h"
#include "app/UnitMenu.h"
#include "report/Fonts.h"
#include "dataset/Dataset.h"
#include "dataset/DatasetFile.h"
#include "validation/ValidationPanel.h"
#include "validation/ValidationRegistry.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace bolaris;

namespace {

QStringList cards(Dataset &d)
{
    QStringList out;
    for (int i = 0; i < d.recordCount(); ++i) {
        const Row &r = d.rowAt(i);
        out << r[0].toString() + r[1].toString();
    }
    return out;
}

QStringList tickets(Dataset &d)
{
    QStringList out;
    for (int i = 0; i < d.recordCount(); ++i) {
        const Row &r = d.rowAt(i);
        out << QStringLiteral("%1%2/%3").arg(r[0].toString(), r[1].toString(), r[2].toString());
    }
    return out;
}

// Fixture set-up cannot use QVERIFY (it returns); a window that never becomes
// active shows up as a failed focus check instead.
#define QVERIFY_ACTIVE(w) (void)QTest::qWaitForWindowActive(w)

// The main window on a fresh working folder with the Validation panel open.
struct Fixture {
    QTemporaryDir dir;
    test::ScriptedPrompter prompter;
    std::unique_ptr<TFormMenu> window;

    Fixture() { start(); }
    void start()
    {
        window = std::make_unique<TFormMenu>(dir.path(), prompter);
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY_ACTIVE(window.get());
        window->menuBar()->findChild<QAction *>(QStringLiteral("MenuValidacao"))->trigger();
    }
    void restart()
    {
        window->close();
        window.reset();
        start();
    }
    template <typename T = QLineEdit> T *get(const char *name) { return window->findChild<T *>(QLatin1String(name)); }
    QString text(const char *name) { return get<QLabel>(name)->text(); }
    Dataset &vali() { return window->registry().TableVali(); }
    Dataset &valiC() { return window->registry().TableValiC(); }

    void series(const QString &s)
    {
        get("EditSer")->clear();
        QTest::keyClicks(get("EditSer"), s);
    }
    void card(const QString &t)
    {
        QTest::keyClicks(get("EditVal"), t);
        QTest::keyClick(get("EditVal"), Qt::Key_Return);
    }
    void ticket(const QString &t)
    {
        QTest::keyClicks(get("EditValC"), t);
        QTest::keyClick(get("EditValC"), Qt::Key_Return);
    }
};

QStringList range(const QString &serie, int from, int to)
{
    QStringList out;
    for (int n = from; n <= to; ++n)
        out << serie + QString::number(n);
    return out;
}

} // namespace

class TestValidationPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void panelControls()
    {
        Fixture f;
        QVERIFY(f.get<QWidget>("PanelValidacao")->isVisible());
        QCOMPARE(QApplication::focusWidget(), f.get("EditVal"));
        QCOMPARE(f.text("LabelValidadas"), QStringLiteral("0"));
        QCOMPARE(f.text("LabelUltval"), QString());
        QCOMPARE(f.get<QPlainTextEdit>("Memo2")->toPlainText().split('\n').at(3),
                 QStringLiteral("separados por um hífen e a série. Ex. 30-47 B)"));
        QCOMPARE(f.get<QPlainTextEdit>("Memo3")->toPlainText(),
                 QStringLiteral("Se uma cartela validada não teve todos os seus cartões \n"
                                "vendiidos, digite aqui os códigos destes cartões para que \n"
                                "não participem do sorteio"));
        auto *grid2 = f.get<QTableView>("DBGrid2");
        QCOMPARE(grid2->geometry(), QRect(528, 73, 169, 217));
        QStringList titles;
        for (int c = 0; c < 3; ++c)
            titles << grid2->model()->headerData(c, Qt::Horizontal).toString() +
                          QString::number(grid2->columnWidth(c));
        QCOMPARE(titles, (QStringList{"Série33", "Cartão49", "Cartela39"}));
        QCOMPARE(f.get<QLineEdit>("EditVal")->geometry(), QRect(160, 178, 120, 28));

        // Tab order: card box, grid 1, series, ticket box, grid 2, memos, buttons.
        QStringList order;
        QWidget *w = f.get("EditVal");
        for (int i = 0; i < 9; ++i) {
            order << w->objectName();
            w = w->nextInFocusChain();
            while (w->focusPolicy() == Qt::NoFocus || !f.get<QWidget>("PanelValidacao")->isAncestorOf(w))
                w = w->nextInFocusChain();
        }
        QCOMPARE(order, (QStringList{"EditVal", "DBGrid1", "EditSer", "EditValC", "DBGrid2", "Memo2", "Memo3",
                                     "ButtonInival", "ButtonSaiVal"}));

        // Each caption ends before its box.
        for (const auto &[caption, box] : {std::pair{"LabelSer", "EditSer"}, std::pair{"LabelCartela", "EditVal"},
                                           std::pair{"LabelDevolvido", "EditValC"}}) {
            auto *label = f.get<QLabel>(caption);
            QVERIFY2(label->x() + label->sizeHint().width() < f.get(box)->x(), caption);
        }

        // The series box turns letters to upper case.
        f.series(QStringLiteral("b"));
        QCOMPARE(f.get("EditSer")->text(), QStringLiteral("B"));
    }

    void rangeToggles()
    {
        Fixture f;
        f.series(QStringLiteral("B"));
        f.card(QStringLiteral("30-47"));
        QCOMPARE(cards(f.vali()), range("B", 30, 47));
        QCOMPARE(f.text("LabelUltval"), QStringLiteral("47"));
        QCOMPARE(f.text("LabelValidadas"), QStringLiteral("18"));
        QCOMPARE(f.get("EditVal")->text(), QString());
        QVERIFY(f.prompter.shown.isEmpty());

        f.ticket(QStringLiteral("181")); // card 31
        QCOMPARE(tickets(f.valiC()), QStringList{"B181/31"});
        f.card(QStringLiteral("30-47"));
        QVERIFY(f.vali().isEmpty());
        QVERIFY(f.valiC().isEmpty());
        QCOMPARE(f.text("LabelUltval"), QStringLiteral("0"));
        QCOMPARE(f.text("LabelValidadas"), QStringLiteral("0"));
        QVERIFY(f.prompter.shown.isEmpty());
    }

    // A range over cards sold in part asks before removing any: No enters
    // only the others, Yes toggles as a range does. B 1-250 sold, ticket
    // 1475 (card 246) returned, then 245-255.
    void overlappingRangeAsks_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QStringList>("validated");
        QTest::addColumn<QStringList>("returned");
        QTest::addColumn<QString>("lastLabel");
        QTest::newRow("No keeps the sold cards") << false << range("B", 1, 255) << QStringList{"B1475/246"} << "255";
        QTest::newRow("Yes toggles") << true << range("B", 1, 244) + range("B", 251, 255) << QStringList{} << "255";
    }
    void overlappingRangeAsks()
    {
        QFETCH(bool, answer);
        QFETCH(QStringList, validated);
        QFETCH(QStringList, returned);
        QFETCH(QString, lastLabel);
        Fixture f;
        f.series(QStringLiteral("B"));
        f.card(QStringLiteral("1-250"));
        f.ticket(QStringLiteral("1475"));
        f.prompter.answers = {answer};
        f.card(QStringLiteral("245-255"));
        QCOMPARE(f.prompter.shown.size(), 1);
        const auto &asked = f.prompter.shown[0];
        QCOMPARE(asked.caption, QStringLiteral("Exclusão de cartela"));
        QCOMPARE(asked.text, QStringLiteral("6 cartelas deste intervalo já estão validadas. Exclui da validação?"));
        QVERIFY(asked.question);
        QVERIFY(!asked.defaultYes); // Enter and Esc keep the sold cards
        QCOMPARE(cards(f.vali()), validated);
        QCOMPARE(tickets(f.valiC()), returned);
        QCOMPARE(f.text("LabelUltval"), lastLabel);
        QCOMPARE(f.text("LabelValidadas"), QString::number(validated.size()));
    }

    // What a card text enters, on an empty registry of series A.
    void cardTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("validated");
        QTest::addColumn<QString>("boxAfter");
        QTest::addColumn<QString>("lastLabel");
        QTest::addColumn<QString>("countLabel"); // refreshed by a completed entry only
        QTest::newRow("47-30 is card 47") << "47-30" << QStringList{"A47"} << "" << "47" << "1";
        QTest::newRow("30- is card 30") << "30-" << QStringList{"A30"} << "" << "30" << "1";
        QTest::newRow("memo example") << "30-47 B" << QStringList{"A30"} << "" << "30" << "1";
        QTest::newRow("leading blank") << " 12" << QStringList{"A12"} << "" << "12" << "1";
        QTest::newRow("past 2000 stops") << "1995-2005" << range("A", 1995, 2000) << "1995-2005" << "" << "0";
        QTest::newRow("2001") << "2001" << QStringList{} << "2001" << "" << "0";
        QTest::newRow("zero") << "0" << QStringList{} << "0" << "" << "0";
        QTest::newRow("letters") << "abc" << QStringList{} << "abc" << "" << "0";
        QTest::newRow("minus five") << "-5" << QStringList{} << "-5" << "" << "0";
        QTest::newRow("trailing blank") << "12 " << QStringList{} << "12 " << "" << "0";
    }
    void cardTexts()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, validated);
        QFETCH(QString, boxAfter);
        QFETCH(QString, lastLabel);
        QFETCH(QString, countLabel);
        Fixture f;
        f.series(QStringLiteral("A"));
        f.card(text);
        QCOMPARE(cards(f.vali()), validated);
        QCOMPARE(f.get("EditVal")->text(), boxAfter);
        QCOMPARE(f.text("LabelUltval"), lastLabel);
        QCOMPARE(f.text("LabelValidadas"), countLabel);
        QVERIFY(f.prompter.shown.isEmpty());
    }

    void singleCardAsksBeforeRemoving()
    {
        Fixture f;
        f.series(QStringLiteral("A"));
        f.card(QStringLiteral("30"));
        f.prompter.answers = {false};
        f.card(QStringLiteral("30"));
        QCOMPARE(f.prompter.shown.size(), 1);
        QCOMPARE(f.prompter.shown[0].caption, QStringLiteral("Exclusão de cartela"));
        QCOMPARE(f.prompter.shown[0].text, QStringLiteral("Cartela já validada. Exclui da validação?"));
        QVERIFY(f.prompter.shown[0].question);
        QVERIFY(!f.prompter.shown[0].defaultYes); // a second Enter keeps the sold card
        QCOMPARE(cards(f.vali()), QStringList{"A30"});
        QCOMPARE(f.text("LabelUltval"), QStringLiteral("0"));
        f.prompter.answers = {true};
        f.card(QStringLiteral("30"));
        QVERIFY(f.vali().isEmpty());
    }

    void invalidSeries_data()
    {
        QTest::addColumn<QString>("series");
        QTest::newRow("M") << "M";
        QTest::newRow("blank") << " ";
        QTest::newRow("digit") << "1";
    }
    void invalidSeries()
    {
        QFETCH(QString, series);
        Fixture f;
        f.get("EditSer")->setText(series);
        f.card(QStringLiteral("5"));
        QCOMPARE(f.prompter.shown.size(), 1);
        QCOMPARE(f.prompter.shown[0].caption, QStringLiteral("Número da série a emitir"));
        QCOMPARE(f.prompter.shown[0].text, QStringLiteral("Série inválida. Corrija."));
        QCOMPARE(f.prompter.shown[0].icon, MessageIcon::Information);
        QCOMPARE(f.get("EditVal")->text(), QString());
        QCOMPARE(QApplication::focusWidget(), f.get("EditSer"));
        f.ticket(QStringLiteral("5"));
        QCOMPARE(f.prompter.shown.size(), 2);
        QCOMPARE(f.get("EditValC")->text(), QString());
        QVERIFY(f.vali().isEmpty());
    }

    void emptyBoxesDoNothing()
    {
        Fixture f;
        f.card(QStringLiteral("5")); // series box empty
        QCOMPARE(f.get("EditVal")->text(), QStringLiteral("5"));
        f.series(QStringLiteral("A"));
        QTest::keyClick(f.get("EditValC"), Qt::Key_Return);
        QVERIFY(f.vali().isEmpty());
        QVERIFY(f.prompter.shown.isEmpty());
    }

    // Any edit of one box by the operator clears the other: typed characters,
    // Backspace and Enter, and edits without a character: paste, cut, Delete.
    void editingClearsTheOtherBox_data()
    {
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("edit");
        const QStringList edits = {"type", "Backspace", "Enter", "paste", "cut", "Delete"};
        for (const auto &[edited, other] : {std::pair{"EditVal", "EditValC"}, std::pair{"EditValC", "EditVal"}})
            for (const QString &edit : edits)
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(edited), edit)))
                    << QString::fromLatin1(edited) << QString::fromLatin1(other) << edit;
    }
    void editingClearsTheOtherBox()
    {
        QFETCH(QString, edited);
        QFETCH(QString, other);
        QFETCH(QString, edit);
        Fixture f;
        auto *box = f.window->findChild<QLineEdit *>(edited);
        box->setText(QStringLiteral("0")); // Enter on it changes nothing: the series box is empty
        box->setFocus();
        box->setCursorPosition(0);
        f.window->findChild<QLineEdit *>(other)->setText(QStringLiteral("12"));
        QApplication::clipboard()->setText(QStringLiteral("9"));
        if (edit == QLatin1String("type"))
            QTest::keyClicks(box, QStringLiteral("1"));
        else if (edit == QLatin1String("Backspace"))
            QTest::keyClick(box, Qt::Key_Backspace);
        else if (edit == QLatin1String("Enter"))
            QTest::keyClick(box, Qt::Key_Return);
        // Control keys carry their control character, as the window system sends them.
        else if (edit == QLatin1String("paste"))
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_V, QString(QChar(0x16)), Qt::ControlModifier);
        else if (edit == QLatin1String("cut")) {
            box->selectAll();
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_X, QString(QChar(0x18)), Qt::ControlModifier);
            QCOMPARE(box->text(), QString());
        } else if (edit == QLatin1String("Delete"))
            QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(f.window->findChild<QLineEdit *>(other)->text(), QString());
    }

    // Tab goes from control to control in the panel's tab order, through grids
    // and help texts full of rows and lines.
    void tabWalksThePanel()
    {
        Fixture f;
        f.series(QStringLiteral("A"));
        f.card(QStringLiteral("1-40"));
        QCOMPARE(f.vali().recordCount(), 40);
        f.ticket(QStringLiteral("7"));
        QCOMPARE(f.valiC().recordCount(), 1);
        f.get("EditVal")->setFocus();
        QStringList order;
        for (int i = 0; i < 9; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, (QStringList{"EditVal", "DBGrid1", "EditSer", "EditValC", "DBGrid2", "Memo2", "Memo3",
                                     "ButtonInival", "ButtonSaiVal"}));
        QCOMPARE(f.get<QPlainTextEdit>("Memo2")->toPlainText().count(QLatin1Char('\t')), 0);
    }

    void returnedTickets()
    {
        Fixture f;
        f.series(QStringLiteral("A"));
        f.card(QStringLiteral("1-2"));
        f.ticket(QStringLiteral("12"));
        f.ticket(QStringLiteral("7"));
        f.ticket(QStringLiteral("6"));
        QCOMPARE(tickets(f.valiC()), (QStringList{"A6/1", "A7/2", "A12/2"}));
        QCOMPARE(f.get("EditValC")->text(), QString());

        f.ticket(QStringLiteral("13"));
        QCOMPARE(f.prompter.shown.size(), 1);
        QCOMPARE(f.prompter.shown[0].caption, QStringLiteral("Devolução de cartão"));
        QCOMPARE(f.prompter.shown[0].text, QStringLiteral("Cartela 3 não validada. Não há cartão a devolver."));
        QCOMPARE(f.prompter.shown[0].icon, MessageIcon::None);
        QCOMPARE(f.get("EditValC")->text(), QString());

        for (const QString &silent : {QStringLiteral("12001"), QStringLiteral("0"), QStringLiteral("-4"),
                                      QStringLiteral("x")}) {
            f.ticket(silent);
            QCOMPARE(f.get("EditValC")->text(), QString());
        }
        QCOMPARE(f.prompter.shown.size(), 1);

        f.prompter.answers = {false, true};
        f.ticket(QStringLiteral("7"));
        QCOMPARE(f.prompter.shown.last().text, QStringLiteral("Cartão já validado. Exclui da validação?"));
        QCOMPARE(f.prompter.shown.last().caption, QStringLiteral("Exclusão de cartão"));
        QVERIFY(!f.prompter.shown.last().defaultYes);
        QCOMPARE(valiTickets(f), 3);
        f.ticket(QStringLiteral("7"));
        QCOMPARE(tickets(f.valiC()), (QStringList{"A6/1", "A12/2"}));
        QCOMPARE(f.text("LabelValidadas"), QStringLiteral("2")); // unchanged by ticket entries
    }

    // Removing a card removes its returned tickets, and only those of its series.
    void cascade()
    {
        Fixture f;
        for (const char *s : {"A", "B"}) {
            f.series(QLatin1String(s));
            f.card(QStringLiteral("1-3"));
            for (const char *t : {"6", "7", "9", "12", "13"})
                f.ticket(QLatin1String(t));
        }
        f.series(QStringLiteral("A"));
        f.prompter.answers = {true};
        f.card(QStringLiteral("2"));
        QCOMPARE(cards(f.vali()), (QStringList{"A1", "A3", "B1", "B2", "B3"}));
        QCOMPARE(tickets(f.valiC()), (QStringList{"A6/1", "A13/3", "B6/1", "B7/2", "B9/2", "B12/2", "B13/3"}));
    }

    void reset()
    {
        Fixture f;
        f.series(QStringLiteral("C"));
        f.card(QStringLiteral("1-5"));
        f.ticket(QStringLiteral("8"));
        f.prompter.answers = {false};
        QTest::mouseClick(f.get<QPushButton>("ButtonInival"), Qt::LeftButton);
        QCOMPARE(f.prompter.shown.last().caption, QStringLiteral("Inicia validação"));
        QCOMPARE(f.prompter.shown.last().text,
                 QStringLiteral("Quer mesmo cancelar todas as validacões existentes e iniciar o processo?"));
        QVERIFY(!f.prompter.shown.last().defaultYes);
        QCOMPARE(f.vali().recordCount(), 5);
        QCOMPARE(f.text("LabelUltval"), QStringLiteral("5"));

        f.prompter.answers = {true};
        QTest::mouseClick(f.get<QPushButton>("ButtonInival"), Qt::LeftButton);
        QVERIFY(f.vali().isEmpty());
        QVERIFY(f.valiC().isEmpty());
        QCOMPARE(f.text("LabelValidadas"), QStringLiteral("0"));
        QCOMPARE(f.text("LabelUltval"), QString());
        QCOMPARE(f.get<QTableView>("DBGrid1")->model()->rowCount(), 0);
        // On disk when the click returns.
        for (const char *file : {"Validadas.cds", "Cartoes.cds"})
            QVERIFY(DatasetFile::load(QDir(f.dir.path()).filePath(QLatin1String(file))).rows.empty());
    }

    // The registry is the same after a restart, also when the draw panel was
    // open as the window closed.
    void survivesARestart()
    {
        Fixture f;
        f.series(QStringLiteral("L"));
        f.card(QStringLiteral("1999-2000"));
        f.ticket(QStringLiteral("11999"));
        f.get<QPushButton>("ButtonSaiVal")->click();
        f.window->menuBar()->findChild<QAction *>(QStringLiteral("MenuSorteio"))->trigger();
        f.restart();
        QCOMPARE(cards(f.vali()), (QStringList{"L1999", "L2000"}));
        QCOMPARE(tickets(f.valiC()), QStringList{"L11999/2000"});
        QCOMPARE(f.text("LabelValidadas"), QStringLiteral("2"));
        QCOMPARE(f.get<QTableView>("DBGrid1")->model()->rowCount(), 2);
        QVERIFY(f.get("EditVal")->text().isEmpty());
    }

    // An unreadable registry file is kept under another name and reported.
    void damagedRegistryFile()
    {
        QTemporaryDir dir;
        test::writeBytes(QDir(dir.path()).filePath(QStringLiteral("validadas.cds")), "not a registry");
        test::ScriptedPrompter prompter;
        {
            TFormMenu w(dir.path(), prompter);
            QTRY_COMPARE(prompter.shown.size(), 1);
            QVERIFY(w.registry().TableVali().isOpen());
            QVERIFY(w.registry().TableVali().isEmpty());
            w.close();
        }
        const QString message = prompter.lastText();
        QVERIFY(message.contains(QStringLiteral("validadas.cds")));
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("validadas.cds.danificado-*")});
        QCOMPARE(aside.size(), 1);
        QVERIFY(message.contains(aside.first()));
        QCOMPARE(test::readBytes(QDir(dir.path()).filePath(aside.first())), QByteArray("not a registry"));
    }

    // A second program on the same folder shows the registry but takes no
    // entry while the first holds it; once the first has closed, it does.
    void secondProgramOnlyShows()
    {
        Fixture first;
        first.series(QStringLiteral("A"));
        first.card(QStringLiteral("1-3"));
        test::ScriptedPrompter prompter;
        TFormMenu second(first.dir.path(), prompter);
        QTRY_COMPARE(prompter.shown.size(), 1);
        QVERIFY2(prompter.lastText().contains(QStringLiteral("aberto em outro Bolaris")),
                 qPrintable(prompter.lastText()));
        QCOMPARE(second.registry().access(), ValidationRegistry::Access::ReadOnly);
        QCOMPARE(cards(second.registry().TableVali()), (QStringList{"A1", "A2", "A3"}));

        auto *panel = second.findChild<ValidationPanel *>(QStringLiteral("PanelValidacao"));
        auto enter = [&](const char *card) {
            second.findChild<QLineEdit *>(QStringLiteral("EditSer"))->setText(QStringLiteral("B"));
            second.findChild<QLineEdit *>(QStringLiteral("EditVal"))->setText(QLatin1String(card));
            panel->SaiEnter(QChar(13));
        };
        prompter.clear();
        enter("5");
        QCOMPARE(prompter.shown.size(), 1);
        QVERIFY(prompter.lastText().contains(QStringLiteral("só para consulta")));
        QCOMPARE(second.registry().TableVali().recordCount(), 3);
        first.card(QStringLiteral("4"));
        QCOMPARE(first.vali().recordCount(), 4); // the first keeps working

        first.window->close();
        first.window.reset();
        prompter.clear();
        second.MenuValidacaoClick();
        QVERIFY(prompter.shown.isEmpty());
        QCOMPARE(second.registry().access(), ValidationRegistry::Access::Writable);
        enter("5");
        QCOMPARE(cards(second.registry().TableVali()), (QStringList{"A1", "A2", "A3", "A4", "B5"}));
        second.close();
    }

    // A registry file another program keeps locked at start: the program says
    // so, starts no empty registry, refuses entries, and works once it is free.
    void lockedRegistryAtStart()
    {
        QTemporaryDir dir;
        {
            ValidationRegistry registry(dir.path());
            registry.open();
            test::ScriptedPrompter none;
            registry.SaiEnter(QStringLiteral("C"), QStringLiteral("1-100"), none);
            registry.close();
        }
        const QString vali = QDir(dir.path()).filePath(QStringLiteral("Validadas.cds"));
        sqlite3 *holder = nullptr;
        sqlite3_open(QFile::encodeName(vali).constData(), &holder);
        QCOMPARE(sqlite3_exec(holder, "BEGIN EXCLUSIVE; DELETE FROM records;", nullptr, nullptr, nullptr), SQLITE_OK);
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        QTRY_COMPARE(prompter.shown.size(), 1);
        QVERIFY2(prompter.lastText().contains(QStringLiteral("Validadas.cds")), qPrintable(prompter.lastText()));
        QCOMPARE(w.registry().access(), ValidationRegistry::Access::Unavailable);
        w.findChild<QLineEdit *>(QStringLiteral("EditSer"))->setText(QStringLiteral("C"));
        w.findChild<QLineEdit *>(QStringLiteral("EditVal"))->setText(QStringLiteral("101"));
        w.findChild<ValidationPanel *>(QStringLiteral("PanelValidacao"))->SaiEnter(QChar(13));
        QCOMPARE(prompter.shown.size(), 2);
        QVERIFY(prompter.lastText().contains(QStringLiteral("Nada foi alterado")));

        sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(holder);
        w.MenuValidacaoClick();
        QCOMPARE(w.registry().access(), ValidationRegistry::Access::Writable);
        QCOMPARE(w.registry().TableVali().recordCount(), 100);
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("LabelValidadas"))->text(), QStringLiteral("100"));
        QVERIFY(QDir(dir.path()).entryList({QStringLiteral("*danificado*")}).isEmpty());
        w.close();
    }

private:
    static int valiTickets(Fixture &f) { return f.valiC().recordCount(); }
};

QTEST_MAIN(TestValidationPanel)
#include "tst_validationpanel.moc"
