#include "cards/CardGenerator.h"
#include "cards/CardRules.h"
#include "cards/SeriesA.h"

#include <QCryptographicHash>
#include <QTest>

#include <set>

using namespace bolaris;

class TestSeriesData : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void givenCardsOfSeriesA_data()
    {
        QTest::addColumn<int>("card");
        QTest::addColumn<QString>("text");
        QTest::newRow("A-1") << 1
                             << "244051708718325261889 3941647110335074842 224460905 2735687915235567833 "
                                "254869867 16305977133142668014264654826 28385876173443658519214553721 "
                                "2937567811365773814 204762898 12496375";
        QTest::newRow("A-2") << 2
                             << "1 21325172112248658812335769893 134452747 2447617614395967842 104062735 "
                                "2942638315315475866 27415370193649668528375677904 "
                                "23306471162646688118355078828 203455799 254358801738456087";
        QTest::newRow("A-2000") << 2000
                                << "11385166862 26395873152742689010244170813 123256765 2543678821405477849 "
                                   "36446179133755648914305760826 224759788 3349698518284572801 193550757 "
                                   "2948628716315263834 203453711723466574";
    }
    void givenCardsOfSeriesA()
    {
        QFETCH(int, card);
        QFETCH(QString, text);
        const std::string_view stored = SeriesACard(card);
        QCOMPARE(QString::fromLatin1(stored.data(), qsizetype(stored.size())), text);
    }

    void seriesAObeysEveryRule()
    {
        std::set<std::string> texts;
        for (int i = 1; i <= kCardsPerSeries; ++i) {
            const std::string_view card = SeriesACard(i);
            const std::vector<std::string> problems = CheckCard(card, true);
            if (!problems.empty())
                QFAIL(qPrintable(QStringLiteral("A-%1: %2").arg(i).arg(QString::fromStdString(problems.front()))));
            texts.emplace(card);
        }
        QCOMPARE(int(texts.size()), kCardsPerSeries);
    }

    // Series B to L: every card sound, no ticket of series A to L repeated, and
    // the same cards on every machine.
    void seriesBtoL()
    {
        const std::vector<std::string> cards = GenerateSeriesBtoL();
        QCOMPARE(int(cards.size()), kCardCount - kCardsPerSeries);
        TicketSet tickets;
        for (int i = 1; i <= kCardsPerSeries; ++i)
            for (int p = 1; p <= 6; ++p)
                tickets.insert(TicketKeyOf(SeriesACard(i), p));
        QCOMPARE(int(tickets.size()), 6 * kCardsPerSeries);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (size_t i = 0; i < cards.size(); ++i) {
            const std::vector<std::string> problems = CheckCard(cards[i], true);
            if (!problems.empty())
                QFAIL(qPrintable(QStringLiteral("card %1: %2").arg(i + 2001).arg(QString::fromStdString(problems.front()))));
            for (int p = 1; p <= 6; ++p)
                tickets.insert(TicketKeyOf(cards[i], p));
            hash.addData(QByteArrayView(cards[i].data(), qsizetype(cards[i].size())));
        }
        QCOMPARE(int(tickets.size()), 6 * kCardCount);
        QCOMPARE(hash.result().toHex(), QByteArray("51690ee2624388d495e394b6e6d1aee4d19b9e8610f8b11acf38669ba4913de9"));
    }

    void checkCardFindsFaults_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fault");
        const QString a1 = QString::fromLatin1(SeriesACard(1).data(), 180);
        QTest::newRow("short") << a1.left(178) << "length";
        QString swapped = a1;
        swapped.replace(0, 4, QStringLiteral("4024")); // row no longer ascends
        QTest::newRow("row order") << swapped << "card row 1";
        QString leadingZero = a1;
        leadingZero.replace(40, 2, QStringLiteral("09")); // "9 " written as "09"
        QTest::newRow("leading zero") << leadingZero << "cell 21";
        QString twice = a1;
        twice.replace(2, 2, QStringLiteral("41")); // 40 replaced by 41: 41 twice, 40 missing
        QTest::newRow("duplicate number") << twice << "occurs 2 times";
    }
    void checkCardFindsFaults()
    {
        QFETCH(QString, text);
        QFETCH(QString, fault);
        const std::vector<std::string> problems = CheckCard(text.toStdString(), true);
        QVERIFY(!problems.empty());
        bool named = false;
        for (const std::string &p : problems)
            named = named || QString::fromStdString(p).contains(fault);
        QVERIFY2(named, problems.front().c_str());
    }

    void generatorIsDeterministic()
    {
        CardGenerator a(42), b(42), c(43);
        const std::string first = a.nextCard();
        QCOMPARE(first, b.nextCard());
        QVERIFY(first != c.nextCard());
    }
};

QTEST_APPLESS_MAIN(TestSeriesData)
#include "tst_seriesdata.moc"
