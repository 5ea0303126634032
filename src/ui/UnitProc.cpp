#include "UnitProc.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace bolaris {

quint32 MonotonicTicks::ticks()
{
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Delay(int milliseconds, TickClock &clock)
{
    if (milliseconds <= 0)
        return;
    const quint32 wanted = quint32(milliseconds);
    const quint32 start = clock.ticks();
    for (;;) {
        const quint32 elapsed = clock.ticks() - start; // unsigned: wraps correctly
        if (elapsed >= wanted)
            return;
        // Sleep in the event loop until the rest of the wait is over or an
        // event comes; the clock decides when the wait has ended.
        QEventLoop loop;
        QTimer::singleShot(int(qMin<quint32>(wanted - elapsed, 50)), &loop, &QEventLoop::quit);
        if (loop.exec() < 0)
            return; // the program is ending: no event loop runs any more
    }
}

void Delay(int milliseconds)
{
    MonotonicTicks clock;
    Delay(milliseconds, clock);
}

} // namespace bolaris
