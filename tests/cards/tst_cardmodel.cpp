#include "cards/UnitCart.h"

#include <QTest>

#include <algorithm>

using namespace bolaris;

namespace {
const char *const kCardA1 = "244051708718325261889 3941647110335074842 224460905 2735687915235567833 254869867 "
                            "16305977133142668014264654826 28385876173443658519214553721 2937567811365773814 "
                            "204762898 12496375";
}

class TestCardModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cellColumn_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<int>("column");
        QTest::newRow("9 blank") << "9 " << 1;
        QTest::newRow("1 blank") << "1 " << 1;
        QTest::newRow("10") << "10" << 2;
        QTest::newRow("19") << "19" << 2;
        QTest::newRow("79") << "79" << 8;
        QTest::newRow("80") << "80" << 9;
        QTest::newRow("89") << "89" << 9;
        QTest::newRow("90 stays in 9") << "90" << 9;
    }
    void cellColumn()
    {
        QFETCH(QString, cell);
        QFETCH(int, column);
        const std::string text = cell.toStdString();
        QCOMPARE(CellColumn(text), column);
        QCOMPARE(CellNumber(text), cell.trimmed().toInt());
    }

    void cellRowAndPosition_data()
    {
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("position");
        QTest::newRow("cell 5") << 5 << 1 << 5;
        QTest::newRow("cell 6") << 6 << 2 << 1;
        QTest::newRow("cell 16 top of ticket 2") << 16 << 4 << 1;
        QTest::newRow("cell 90") << 90 << 18 << 5;
    }
    void cellRowAndPosition()
    {
        QFETCH(int, cell);
        QFETCH(int, row);
        QFETCH(int, position);
        QCOMPARE(CellRow(cell), row);
        QCOMPARE((cell - 1) % 5 + 1, position);
    }

    void tickets_data()
    {
        QTest::addColumn<int>("ticket");
        QTest::addColumn<int>("card");
        QTest::addColumn<int>("position");
        QTest::newRow("1") << 1 << 1 << 1;
        QTest::newRow("6") << 6 << 1 << 6;
        QTest::newRow("7") << 7 << 2 << 1;
        QTest::newRow("12") << 12 << 2 << 6;
        QTest::newRow("13") << 13 << 3 << 1;
        QTest::newRow("12000") << 12000 << 2000 << 6;
    }
    void tickets()
    {
        QFETCH(int, ticket);
        QFETCH(int, card);
        QFETCH(int, position);
        QCOMPARE(CardOfTicket(ticket), card);
        QCOMPARE(TicketPosition(ticket), position);
        QCOMPARE(TicketNumber(card, position), ticket);
    }

    void seriesIndexes_data()
    {
        QTest::addColumn<char>("series");
        QTest::addColumn<int>("card");
        QTest::addColumn<int>("index");
        QTest::newRow("A-1") << 'A' << 1 << 1;
        QTest::newRow("A-2000") << 'A' << 2000 << 2000;
        QTest::newRow("B-1") << 'B' << 1 << 2001;
        QTest::newRow("F-7") << 'F' << 7 << 10007;
        QTest::newRow("L-2000") << 'L' << 2000 << 24000;
    }
    void seriesIndexes()
    {
        QFETCH(char, series);
        QFETCH(int, card);
        QFETCH(int, index);
        QCOMPARE(CardIndex(series, card), index);
        QCOMPARE(SeriesOfIndex(index), series);
        QCOMPARE(CardOfIndex(index), card);
    }

    void ticketGridOfCardA1()
    {
        const Grid3x9 grid = TicketGrid(kCardA1, 1);
        const char *expected[3][9] = {{"", "", "24", "", "40", "51", "", "70", "87"},
                                      {"", "18", "", "32", "", "52", "61", "", "88"},
                                      {"9 ", "", "", "39", "41", "", "64", "71", ""}};
        for (int r = 0; r < 3; ++r) {
            int empty = 0;
            for (int c = 0; c < 9; ++c) {
                QCOMPARE(QString::fromLatin1(grid[r][c].data(), grid[r][c].size()),
                         QString::fromLatin1(expected[r][c]));
                empty += grid[r][c].empty();
            }
            QCOMPARE(empty, 4);
        }
    }

    void cardGridMatchesTicketGrids()
    {
        const Grid18x9 card = CardGrid(kCardA1);
        for (int t = 1; t <= 6; ++t) {
            const Grid3x9 ticket = TicketGrid(kCardA1, t);
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 9; ++c)
                    QCOMPARE(card[3 * (t - 1) + r][c], ticket[r][c]);
        }
        const auto numbers = TicketNumbers(kCardA1, 1);
        QCOMPARE(numbers[0], 24);
        QCOMPARE(numbers[10], 9);
        QCOMPARE(numbers[14], 71);
    }

    // A card text is readable when it has 90 cells of two characters, each
    // a number from 1 to 90 written with digits and blanks.
    void readableCard_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<bool>("readable");
        QTest::newRow("card A-1 as it is") << -1 << QByteArray() << true;
        QTest::newRow("blank after the digit") << 0 << QByteArray("7 ") << true;
        QTest::newRow("blank before the digit") << 178 << QByteArray(" 7") << true;
        QTest::newRow("90") << 100 << QByteArray("90") << true;
        QTest::newRow("no digit") << 0 << QByteArray("  ") << false;
        QTest::newRow("zero") << 0 << QByteArray("00") << false;
        QTest::newRow("91") << 178 << QByteArray("91") << false;
        QTest::newRow("a letter") << 100 << QByteArray("4x") << false;
        QTest::newRow("a sign") << 2 << QByteArray("-4") << false;
        QTest::newRow("one character short") << 178 << QByteArray("5") << false;
        QTest::newRow("one character more") << 180 << QByteArray("5") << false;
    }
    void readableCard()
    {
        QFETCH(int, at);
        QFETCH(QByteArray, cell);
        QFETCH(bool, readable);
        std::string text(kCardA1);
        if (at >= 0)
            text.replace(size_t(at), std::min<size_t>(2, text.size() - size_t(at)), cell.constData());
        QCOMPARE(IsReadableCard(text), readable);
    }
};

QTEST_APPLESS_MAIN(TestCardModel)
#include "tst_cardmodel.moc"
