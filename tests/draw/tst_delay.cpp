#include "ui/UnitProc.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace bolaris;

namespace {

// The monotonic clock shifted so that its 32-bit count wraps soon after the start.
class WrappingTicks : public TickClock {
public:
    explicit WrappingTicks(quint32 firstTick) : m_first(firstTick) { m_elapsed.start(); }
    quint32 ticks() override { return m_first + quint32(m_elapsed.elapsed()); }

private:
    quint32 m_first;
    QElapsedTimer m_elapsed;
};

} // namespace

class TestDelay : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fullWaitAcrossTheWrap_data()
    {
        QTest::addColumn<quint32>("firstTick");
        QTest::newRow("no wrap") << quint32(1000);
        QTest::newRow("wraps after 100 ms") << quint32(0xFFFFFFFFu - 100);
        QTest::newRow("wraps at once") << quint32(0xFFFFFFFFu);
        QTest::newRow("beyond 24.8 days") << quint32(0x80000000u + 5);
    }
    void fullWaitAcrossTheWrap()
    {
        QFETCH(quint32, firstTick);
        WrappingTicks clock(firstTick);
        QElapsedTimer real;
        real.start();
        Delay(300, clock);
        QVERIFY2(real.elapsed() >= 295, qPrintable(QString::number(real.elapsed())));
        QVERIFY2(real.elapsed() < 5000, qPrintable(QString::number(real.elapsed())));
    }

    void eventsAreHandledWhileWaiting()
    {
        bool fired = false;
        QTimer::singleShot(20, this, [&] { fired = true; });
        Delay(150);
        QVERIFY(fired);
    }

    void nothingToWait()
    {
        QElapsedTimer real;
        real.start();
        Delay(0);
        Delay(-5);
        QVERIFY(real.elapsed() < 100);
    }
};

QTEST_GUILESS_MAIN(TestDelay)
#include "tst_delay.moc"
