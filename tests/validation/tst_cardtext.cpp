#include "dataset/StrictInt.h"
#include "validation/ValidationRegistry.h"

#include <QTest>

using namespace bolaris;

// How the card box and the ticket box read what was typed.
class TestCardText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("asTicket"); // the whole text as one integer, 0 when it is none
        QTest::newRow("30") << "30" << 30 << 0 << 30;
        QTest::newRow("30-47") << "30-47" << 30 << 47 << 0;
        QTest::newRow("30-") << "30-" << 30 << 0 << 0;
        QTest::newRow("47-30") << "47-30" << 47 << 30 << 0;
        QTest::newRow("30-47 B") << "30-47 B" << 30 << 0 << 0;
        QTest::newRow("leading blank") << " 12" << 12 << 0 << 12;
        QTest::newRow("trailing blank") << "12 " << 0 << 0 << 0;
        QTest::newRow("abc") << "abc" << 0 << 0 << 0;
        QTest::newRow("-5") << "-5" << 0 << 5 << -5;
        QTest::newRow("0") << "0" << 0 << 0 << 0;
        QTest::newRow("1995-2005") << "1995-2005" << 1995 << 2005 << 0;
        QTest::newRow("2001") << "2001" << 2001 << 0 << 2001;
        // Without a hyphen the first number is characters 1 to 19, the last 21 to 25.
        QTest::newRow("long") << "0000000000000000012x00007" << 12 << 7 << 0;
        QTest::newRow("hyphen past 20") << "000000000000000000001-5" << 0 << 0 << 0;
    }
    void reading()
    {
        QFETCH(QString, text);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(int, asTicket);
        QCOMPARE(ValidationRegistry::splitCardText(text), std::make_pair(first, last));
        QCOMPARE(strictIntOrZero(text), asTicket);
    }
};

QTEST_APPLESS_MAIN(TestCardText)
#include "tst_cardtext.moc"
