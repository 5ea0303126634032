#include "cards/CardStore.h"
#include "game/DrawState.h"
#include "draw/UnitVenc.h"
#include "report/Fonts.h"
#include "ui/UiBuild.h"

#include <QFrame>
#include <QLabel>
#include <QTest>

using namespace bolaris;

namespace {

struct Winners {
    CartelaTable cards;
    DrawState draw;
    TFormVenc window{cards, draw};

    Winners()
    {
        cards.storeSeriesA();
        draw.start(DrawMode::Manual);
    }
    void drawBalls(const QList<int> &balls)
    {
        for (int b : balls)
            draw.clickManual(b);
    }
    template <typename T = QWidget> T *get(const QString &name) const { return window.findChild<T *>(name); }
    QString cell(const QString &name) const { return get<QLabel>(name)->text(); }
    QColor textColour(const QString &name) const { return get(name)->palette().color(QPalette::WindowText); }
    QColor background(const QString &name) const { return get(name)->palette().color(QPalette::Window); }
    // The captions of a slot's row, "" for empty places.
    QStringList row(QChar slot, int r) const
    {
        QStringList texts;
        for (int c = 1; c <= 9; ++c)
            texts << cell(QString(slot) + QString::number(r) + QString::number(c));
        return texts;
    }
};

} // namespace

class TestWinners : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void layout()
    {
        Winners w;
        QCOMPARE(w.window.windowTitle(), QStringLiteral("Cartões vencedores"));
        QCOMPARE(w.window.width(), 308);
        const int tops[] = {0, 99, 196, 295, 392, 489};
        const int cellLefts[] = {5, 37, 69, 101, 134, 166, 198, 230, 261};
        for (int s = 0; s < 6; ++s) {
            const QString x(QChar(u'A' + s));
            auto *slot = w.get(QStringLiteral("Panel") + x);
            QCOMPARE(slot->geometry(), QRect(0, tops[s], 302, 95));
            QCOMPARE(w.get<QLabel>(QStringLiteral("LabelC") + x + "1")->text(), QStringLiteral("Cartela:"));
            QCOMPARE(w.get<QLabel>(QStringLiteral("LabelC") + x + "2")->pos(), s < 3 ? QPoint(148, 2) : QPoint(180, 3));
            for (int r = 1; r <= 3; ++r) {
                auto *row = w.get(QStringLiteral("Panel") + x + QString::number(r));
                QCOMPARE(row->parentWidget(), slot);
                QCOMPARE(row->size(), QSize(292, 25));
                for (int c = 1; c <= 9; ++c) {
                    auto *cell = w.get(x + QString::number(r) + QString::number(c));
                    QCOMPARE(cell->parentWidget(), row);
                    QCOMPARE(cell->geometry().size(), QSize(28, 18));
                    QCOMPARE(cell->x(), cellLefts[c - 1]);
                }
            }
        }
    }

    // Ticket 12 of series A is ticket 6 of card 2; row 2 fully drawn.
    void ticketTwelve()
    {
        Winners w;
        w.drawBalls({9, 25, 43, 58, 80, 8, 87});
        w.window.startScan(w.window);
        w.window.ShowWinner(2, QStringLiteral("A"), 12);
        QCOMPARE(w.window.WinnersShown(), 1);
        QCOMPARE(w.window.wantedOuterHeight(), 139);
        QVERIFY(!w.get(QStringLiteral("PanelA"))->isHidden());
        QVERIFY(w.get(QStringLiteral("PanelB"))->isHidden());
        QCOMPARE(w.get<QLabel>(QStringLiteral("LabelCA1"))->text(), QStringLiteral("Cartela:2-A"));
        QCOMPARE(w.get<QLabel>(QStringLiteral("LabelCA2"))->text(), QStringLiteral("Cartão12"));
        QCOMPARE(w.row('A', 1), (QStringList{"8 ", "", "20", "34", "", "55", "", "79", ""}));
        QCOMPARE(w.row('A', 2), (QStringList{"9 ", "", "25", "", "43", "58", "", "", "80"}));
        QCOMPARE(w.row('A', 3), (QStringList{"", "17", "", "38", "45", "", "60", "", "87"}));
        QCOMPARE(w.textColour("A11"), ui::clRed);  // 8 drawn
        QCOMPARE(w.textColour("A13"), ui::clLime); // 20 not drawn
        QCOMPARE(w.textColour("A39"), ui::clRed);  // 87 drawn
        QCOMPARE(w.background("PanelA1"), ui::clWhite);
        QCOMPARE(w.background("PanelA2"), ui::clRed);
        QCOMPARE(w.background("PanelA3"), ui::clWhite);
        w.window.finishScan();
        QVERIFY(w.window.isVisible());
    }

    // Ticket 2 of series A holds 90 in column 9; a full ticket has three red rows.
    void fullTicketWithNinety()
    {
        Winners w;
        w.drawBalls({10, 33, 50, 74, 84, 2, 22, 44, 60, 90, 5, 27, 35, 68, 79});
        w.window.startScan(w.window);
        w.window.ShowWinner(1, QStringLiteral("A"), 2);
        QCOMPARE(w.cell("A29"), QStringLiteral("90"));
        QCOMPARE(w.cell("A21"), QStringLiteral("2 "));
        for (int r = 1; r <= 3; ++r)
            QCOMPARE(w.background(QStringLiteral("PanelA%1").arg(r)), ui::clRed);
    }

    void sevenPrizesAndRepeats()
    {
        Winners w;
        w.window.startScan(w.window);
        const int heights[] = {139, 236, 332, 429, 528, 624};
        for (int i = 1; i <= 7; ++i) {
            w.window.ShowWinner(2, QStringLiteral("A"), i == 2 ? 12 : 7); // slots A and C hold the same ticket
            QCOMPARE(w.window.wantedOuterHeight(), heights[std::min(i, 6) - 1]);
        }
        QCOMPARE(w.window.WinnersShown(), 7);
        for (QChar x : QStringLiteral("ABCDEF"))
            QVERIFY(!w.get(QStringLiteral("Panel") + x)->isHidden());
        QCOMPARE(w.get<QLabel>(QStringLiteral("LabelCC2"))->text(), QStringLiteral("Cartão7"));
        QCOMPARE(w.row('A', 1), w.row('C', 1));
        QCOMPARE(w.get<QLabel>(QStringLiteral("LabelCB2"))->text(), QStringLiteral("Cartão12"));

        // The next scan starts hidden with no slot; one without a prize stays hidden.
        w.window.finishScan();
        QVERIFY(w.window.isVisible());
        w.window.startScan(w.window);
        QVERIFY(!w.window.isVisible());
        QCOMPARE(w.window.WinnersShown(), 0);
        for (QChar x : QStringLiteral("ABCDEF"))
            QVERIFY(w.get(QStringLiteral("Panel") + x)->isHidden());
        w.window.finishScan();
        QVERIFY(!w.window.isVisible());
    }

    void otherSeriesTextsCountAsA()
    {
        Winners w;
        w.window.startScan(w.window);
        w.window.ShowWinner(2, QStringLiteral("x"), 12);
        QCOMPARE(w.get<QLabel>(QStringLiteral("LabelCA1"))->text(), QStringLiteral("Cartela:2-x"));
        QCOMPARE(w.cell("A11"), QStringLiteral("8 "));
    }

    // Beside the main window when it fits; otherwise never over the controls
    // kept clear, and over as little of the main window as can be.
    void placement_data()
    {
        QTest::addColumn<QRect>("mainFrame");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<int>("height");
        QTest::addColumn<QPoint>("place");
        const QRect column(678, 29, 128, 534); // the Draw panel's right-hand controls
        const QRect main(0, 0, 812, 590);
        QTest::newRow("room on the right") << main << QRect(0, 0, 1280, 1024) << 139 << QPoint(814, 0);
        QTest::newRow("moved main window") << QRect(100, 40, 812, 590) << QRect(0, 0, 1920, 1080) << 624
                                           << QPoint(914, 40);
        QTest::newRow("title bar above the screen") << QRect(0, -20, 812, 590) << QRect(0, 0, 1280, 1024) << 139
                                                    << QPoint(814, 0);
        QTest::newRow("narrow screen, one slot: below") << main << QRect(0, 0, 1024, 768) << 139
                                                        << QPoint(1024 - 310, 592);
        QTest::newRow("narrow screen, six slots: over the board's left")
            << main << QRect(0, 0, 1024, 768) << 624 << QPoint(0, 768 - 624);
        QTest::newRow("second screen, narrow") << QRect(1920, 0, 812, 590) << QRect(1920, 0, 1024, 768) << 332
                                               << QPoint(1920, 768 - 332);
    }
    void placement()
    {
        QFETCH(QRect, mainFrame);
        QFETCH(QRect, screen);
        QFETCH(int, height);
        QFETCH(QPoint, place);
        const QRect keepClear = QRect(678, 29, 128, 534).translated(mainFrame.topLeft());
        const QRect frame(TFormVenc::placeBeside(mainFrame, QSize(310, height), screen, keepClear), QSize(310, height));
        QCOMPARE(frame.topLeft(), place);
        QVERIFY(screen.contains(frame));
        QVERIFY(!frame.intersects(keepClear));
    }
};

QTEST_MAIN(TestWinners)
#include "tst_winners.moc"
