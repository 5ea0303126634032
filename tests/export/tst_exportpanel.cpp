#include "ExportFixture.h"
#include "app/UnitMenu.h"
#include "report/Fonts.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

using namespace bolaris;

namespace {

struct Fixture : test::ExportFixture {
    TFormMenu window{dir.path(), prompter};

    Fixture()
    {
        window.show();
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&window, &activate);
        window.menuBar()->findChild<QAction *>(QStringLiteral("Exportaodobancodedados1"))->trigger();
    }
    template <typename T = QLineEdit> T *get(const char *name) { return window.findChild<T *>(QLatin1String(name)); }
    QWidget *panel() { return get<QWidget>("PanelTexto"); }
    void type(const char *edit, const QString &text)
    {
        get(edit)->clear();
        QTest::keyClicks(get(edit), text);
    }
    void gera(const QString &series, const QString &first, const QString &last, const QString &perSheet,
              const QString &fill)
    {
        type("EditSerieG", series);
        type("EditCIG", first);
        type("EditCFG", last);
        type("EditCPF", perSheet);
        type("EditSimbolo", fill);
        QTest::mouseClick(get<QPushButton>("ButtonGera"), Qt::LeftButton);
    }
};

} // namespace

class TestExportPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("bold");
        QTest::newRow("title") << "Geração de arquivo .CSV das cartelas para Corel/Word/Excell" << QPoint(6, 5) << true;
        QTest::newRow("layout") << "Este procedimento gera o arquivo CARTGRAF.CSV no layout:" << QPoint(24, 32) << false;
        QTest::newRow("number") << "Número da cartela: 4 caracteres." << QPoint(88, 53) << false;
        QTest::newRow("series") << "Série: 1 caractere" << QPoint(88, 69) << false;
        QTest::newRow("tickets") << "Numero dos 6 cartões: 6x5=30 caracteres" << QPoint(88, 85) << false;
        QTest::newRow("rows, two blanks") << "As 18 linhas  de cada cartela," << QPoint(88, 101) << false;
        QTest::newRow("places") << "cada uma com 9 posições: 18x9x2=324 caracteres" << QPoint(88, 116) << false;
        QTest::newRow("total, two blanks") << "Totalizando cada registro  359 caracteres" << QPoint(24, 138) << false;
        QTest::newRow("Série") << "Série" << QPoint(122, 164) << false;
        QTest::newRow("first") << "Cartela inicial" << QPoint(122, 189) << false;
        QTest::newRow("last") << "Cartela final" << QPoint(122, 217) << false;
        QTest::newRow("per sheet") << "Cartelas/ folha" << QPoint(122, 245) << false;
        QTest::newRow("fill") << "Preenchimento das casas vazias" << QPoint(484, 33) << true;
        QTest::newRow("fill hint") << "(0, 1 ou 2 caracteres ou simbolos)" << QPoint(498, 48) << false;
    }
    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QPoint, at);
        QFETCH(bool, bold);
        Fixture f;
        QLabel *found = nullptr;
        for (QLabel *l : f.panel()->findChildren<QLabel *>())
            if (l->text() == text)
                found = l;
        QVERIFY(found);
        QCOMPARE(found->pos(), at);
        QCOMPARE(found->font().pixelSize(), 13);
        QCOMPARE(found->font().bold(), bold);
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<int>("pixels");
        QTest::newRow("EditSerieG") << "EditSerieG" << QRect(215, 158, 21, 24) << 13;
        QTest::newRow("EditCIG") << "EditCIG" << QRect(214, 186, 68, 24) << 13;
        QTest::newRow("EditCFG") << "EditCFG" << QRect(214, 214, 68, 24) << 13;
        QTest::newRow("EditCPF") << "EditCPF" << QRect(214, 242, 26, 24) << 13;
        QTest::newRow("EditSimbolo") << "EditSimbolo" << QRect(564, 70, 44, 32) << 19;
        QTest::newRow("ButtonGera") << "ButtonGera" << QRect(88, 298, 90, 35) << 13;
        QTest::newRow("ButtonSaiG") << "ButtonSaiG" << QRect(260, 298, 85, 35) << 13;
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(int, pixels);
        Fixture f;
        QWidget *w = f.panel()->findChild<QWidget *>(name);
        QVERIFY(w);
        QCOMPARE(w->geometry(), geometry);
        QCOMPARE(w->font().pixelSize(), pixels);
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            QCOMPARE(edit->text(), QString());
    }

    void panelAndTabOrder()
    {
        Fixture f;
        QCOMPARE(f.panel()->geometry(), QRect(29, 121, 749, 360));
        QCOMPARE(f.get<QPushButton>("ButtonGera")->text(), QStringLiteral("Gera"));
        QVERIFY(!f.get<QPushButton>("ButtonGera")->icon().isNull());
        QCOMPARE(f.get<QPushButton>("ButtonSaiG")->text(), QStringLiteral("Sai"));
        QVERIFY(!f.get<QPushButton>("ButtonSaiG")->icon().isNull());
        QStringList order;
        for (QWidget *w = f.get("EditSerieG"); order.size() < 7; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus && f.panel()->isAncestorOf(w))
                order << w->objectName();
        QCOMPARE(order, (QStringList{"EditSerieG", "EditCIG", "EditCFG", "EditCPF", "ButtonGera", "ButtonSaiG",
                                     "EditSimbolo"}));
        QTest::keyClicks(f.get("EditSerieG"), QStringLiteral("b"));
        QCOMPARE(f.get("EditSerieG")->text(), QStringLiteral("B"));
    }

    // A written file hides the panel; the inputs stay for the next opening.
    void geraWritesAndHides()
    {
        Fixture f;
        f.gera(QStringLiteral("a"), QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("4"), QStringLiteral("X"));
        QVERIFY(f.prompter.shown.isEmpty());
        QVERIFY(!f.panel()->isVisible());
        QCOMPARE(f.csv(), test::readBytes(QStringLiteral(EXPORT_GOLDEN)));
        QVERIFY(QFile::exists(f.file(QStringLiteral("cartgraf.cds"))));
        f.window.menuBar()->findChild<QAction *>(QStringLiteral("Exportaodobancodedados1"))->trigger();
        QCOMPARE(f.get("EditSerieG")->text(), QStringLiteral("A"));
        QCOMPARE(f.get("EditCFG")->text(), QStringLiteral("10"));
        QCOMPARE(f.get("EditSimbolo")->text(), QStringLiteral("X"));
    }

    // A refused or empty request leaves the panel open with its inputs.
    void refusedKeepsThePanel_data()
    {
        QTest::addColumn<QString>("series");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("fill");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad series") << "M" << "1" << "" << "Série inválida. Corrija.";
        QTest::newRow("empty first") << "A" << "" << "" << "";
        QTest::newRow("fill semicolon") << "A" << "1" << ";" << "O preenchimento não pode ter";
        QTest::newRow("no C cards") << "C" << "1" << "" << "A cartela C-1 não está disponível";
    }
    void refusedKeepsThePanel()
    {
        QFETCH(QString, series);
        QFETCH(QString, first);
        QFETCH(QString, fill);
        QFETCH(QString, message);
        Fixture f;
        f.gera(series, first, QStringLiteral("2"), {}, fill);
        QCOMPARE(f.prompter.shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(f.prompter.lastText().startsWith(message), qPrintable(f.prompter.lastText()));
        QVERIFY(f.panel()->isVisible());
        QCOMPARE(f.get("EditCIG")->text(), first);
        QVERIFY(!QFile::exists(f.csvPath()));
    }

    // Ten thousand characters pasted into a number box: one short message.
    void pastedPage()
    {
        Fixture f;
        f.type("EditSerieG", QStringLiteral("A"));
        f.get("EditCIG")->insert(QString(10000, QLatin1Char('x')));
        f.type("EditCFG", QStringLiteral("2"));
        QTest::mouseClick(f.get<QPushButton>("ButtonGera"), Qt::LeftButton);
        QCOMPARE(f.prompter.shown.size(), 1);
        QVERIFY(f.prompter.lastText().size() < 80);
        QVERIFY(f.panel()->isVisible());
    }
};

QTEST_MAIN(TestExportPanel)
#include "tst_exportpanel.moc"
